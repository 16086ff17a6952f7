#pragma once

// Programs we start for the user (the browser through the desktop's opener, a file manager, a
// settings panel) belong to the user's desktop, not to us. Each starts in a session of its own, so
// that a Ctrl+C in the terminal that runs Tavrel, or the end of Tavrel's process group, never
// reaches it; with its standard streams on /dev/null, so that its chatter stays out of our terminal
// and our pipes; and it is reaped, so no zombie stays behind.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/expected.h"

namespace tavrel::platform {

// Starts a thread that runs `body`, as std::thread does, and may throw as it does (std::system_error
// when the system has no thread to give).
using ThreadStarter = std::function<void(std::function<void()> body)>;

// Starts command[0] (looked up in PATH when it has no slash) with `command` as its arguments,
// directly, without a shell. Returns the child's process id, or the reason it could not be started
// (an errno value; EAGAIN when no thread could be had to wait for it). A thread of its own waits for
// the child; `onExit`, when given, runs there once with the status waitpid reported. Never throws.
Expected<pid_t, int> startDetachedProcess(const std::vector<std::string>& command,
                                          std::function<void(int waitStatus)> onExit = {});
// The same, with the waiting thread started by `startThread`.
Expected<pid_t, int> startDetachedProcess(const std::vector<std::string>& command,
                                          std::function<void(int waitStatus)> onExit,
                                          const ThreadStarter& startThread);

// For a child that a launcher forks itself (GIO starting one of our own programs by its desktop
// entry): a session of its own. Its streams stay, since our programs log to standard error. Only
// async-signal-safe calls, for use between fork and exec.
void enterOwnSession() noexcept;

}  // namespace tavrel::platform
