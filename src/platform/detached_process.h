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

// Starts command[0] (looked up in PATH when it has no slash) with `command` as its arguments,
// directly, without a shell. Returns the child's process id, or the reason it could not be started
// (an errno value). A thread of its own waits for the child; `onExit`, when given, runs there once
// with the status waitpid reported.
Expected<pid_t, int> startDetachedProcess(const std::vector<std::string>& command,
                                          std::function<void(int waitStatus)> onExit = {});

// For a child that a launcher forks itself (GIO starting one of our own programs by its desktop
// entry): a session of its own. Its streams stay, since our programs log to standard error. Only
// async-signal-safe calls, for use between fork and exec.
void enterOwnSession() noexcept;

}  // namespace tavrel::platform
