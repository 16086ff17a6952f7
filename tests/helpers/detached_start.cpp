// Stands for Tavrel run from a terminal: leads a process group of its own, as a shell's job does,
// starts `sleep` through the detached starter, writes "<its session> <the child's pid>\n" to
// standard output and waits to be interrupted.
//
//   detached_start
#include <unistd.h>

#include <cstdio>

#include "platform/detached_process.h"

int main() {
  ::setpgid(0, 0);
  auto child = tavrel::platform::startDetachedProcess({"sleep", "600"});
  if (!child) return 2;
  std::printf("%d %d\n", static_cast<int>(::getsid(0)), static_cast<int>(*child));
  std::fflush(stdout);
  for (;;) ::pause();
}
