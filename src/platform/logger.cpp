#include "platform/logger.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace tavrel::platform {

namespace {

void writeToStandardError(LogLevel, std::string_view line) {
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

std::atomic<Logger::Sink> currentSink{&writeToStandardError};

const char* levelName(LogLevel level) {
  switch (level) {
    case LogLevel::debug: return "debug";
    case LogLevel::info: return "info";
    case LogLevel::notice: return "notice";
    case LogLevel::error: return "error";
    case LogLevel::fault: return "fault";
  }
  return "?";
}

}  // namespace

bool Logger::privateLoggingEnabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("TAVREL_LOG_PRIVATE");
    return value != nullptr && std::string_view(value) == "1";
  }();
  return enabled;
}

Logger::Sink Logger::setSink(Sink sink) { return currentSink.exchange(sink ? sink : &writeToStandardError); }

std::string Logger::render(std::string_view format, const std::vector<LogArg>& args, bool revealPrivate) {
  std::string out;
  out.reserve(format.size() + 16);
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '{' && i + 1 < format.size() && format[i + 1] == '}') {
      if (next < args.size()) {
        const LogArg& arg = args[next++];
        out += (arg.isPrivate() && !revealPrivate) ? "<private>" : arg.text();
      }
      ++i;
      continue;
    }
    out.push_back(format[i]);
  }
  return out;
}

void Logger::write(LogLevel level, std::string_view format, const std::vector<LogArg>& args) const {
  std::string line = "[" + subsystem_ + ":" + category_ + "] " + levelName(level) + ": ";
  line += render(format, args, privateLoggingEnabled());
  currentSink.load()(level, line);
}

}  // namespace tavrel::platform
