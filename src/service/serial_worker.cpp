#include "service/serial_worker.h"

namespace tavrel {

SerialWorker::SerialWorker() : thread_([this] { run(); }) {}

SerialWorker::~SerialWorker() {
  {
    std::lock_guard lock(mutex_);
    quitting_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  thread_.join();
}

void SerialWorker::submit(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    if (quitting_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void SerialWorker::run() {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quitting_ || !jobs_.empty(); });
      if (quitting_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
}

}  // namespace tavrel
