#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tavrel {

// One background thread that runs jobs one at a time, in the order they were submitted: the
// serialised executor behind the upload engine and the service clients' blocking calls.
//
// IMPORTANT: Thread-safety. submit() may be called from any thread. Destruction waits for the job
// that is running (whoever owns the worker stops it first through the job's own stop token) and
// drops the jobs still waiting; it must not happen on the worker's own thread.
class SerialWorker {
 public:
  SerialWorker();
  ~SerialWorker();
  SerialWorker(const SerialWorker&) = delete;
  SerialWorker& operator=(const SerialWorker&) = delete;

  void submit(std::function<void()> job);

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> jobs_;
  bool quitting_ = false;
  std::thread thread_;
};

}  // namespace tavrel
