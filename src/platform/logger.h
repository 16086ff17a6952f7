#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace tavrel::platform {

enum class LogLevel { debug, info, notice, error, fault };

// One argument of a log message. Strings are private by default: they are written as "<private>"
// unless private logging is switched on (TAVREL_LOG_PRIVATE=1 in the environment, read once).
// Numbers and values marked with publicArg() are always written.
class LogArg {
 public:
  LogArg(std::string_view text) : text_(text), isPrivate_(true) {}  // NOLINT(implicit)
  LogArg(const std::string& text) : text_(text), isPrivate_(true) {}  // NOLINT(implicit)
  LogArg(const char* text) : text_(text ? text : ""), isPrivate_(true) {}  // NOLINT(implicit)
  template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
  LogArg(Number number) : text_(formatNumber(number)), isPrivate_(false) {}  // NOLINT(implicit)

  static LogArg makePublic(std::string_view text) {
    LogArg arg(text);
    arg.isPrivate_ = false;
    return arg;
  }

  const std::string& text() const { return text_; }
  bool isPrivate() const { return isPrivate_; }

 private:
  template <typename Number>
  static std::string formatNumber(Number number) {
    if constexpr (std::is_same_v<Number, bool>) return number ? "true" : "false";
    else return std::to_string(number);
  }
  std::string text_;
  bool isPrivate_;
};

inline LogArg publicArg(std::string_view text) { return LogArg::makePublic(text); }

// The text of a log message, fixed when the program is built. A string made at run time cannot
// be a format, so it can only reach the log as an argument, redacted unless marked public.
class LogFormat {
 public:
  template <std::size_t N>
  consteval LogFormat(const char (&text)[N]) : text_(text, N - 1) {}  // NOLINT(implicit)

  std::string_view text() const { return text_; }

 private:
  std::string_view text_;
};

// A log channel named by subsystem and category, e.g. {"com.tavrel.desktop", "TransferStore"}.
// Messages are string literals with "{}" placeholders, filled in order. Writes one line to standard error, which the
// desktop session's journal keeps. Thread-safe.
class Logger {
 public:
  Logger(std::string subsystem, std::string category)
      : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

  template <typename... Args>
  void debug(LogFormat format, const Args&... args) const { write(LogLevel::debug, format.text(), {LogArg(args)...}); }
  template <typename... Args>
  void info(LogFormat format, const Args&... args) const { write(LogLevel::info, format.text(), {LogArg(args)...}); }
  template <typename... Args>
  void notice(LogFormat format, const Args&... args) const { write(LogLevel::notice, format.text(), {LogArg(args)...}); }
  template <typename... Args>
  void error(LogFormat format, const Args&... args) const { write(LogLevel::error, format.text(), {LogArg(args)...}); }
  template <typename... Args>
  void fault(LogFormat format, const Args&... args) const { write(LogLevel::fault, format.text(), {LogArg(args)...}); }

  // The message as it would be written, without the prefix. Exposed for tests.
  static std::string render(std::string_view format, const std::vector<LogArg>& args, bool revealPrivate);

  // Where lines go; tests replace it to capture output. Returns the previous sink.
  using Sink = void (*)(LogLevel, std::string_view line);
  static Sink setSink(Sink sink);
  static bool privateLoggingEnabled();

  const std::string& subsystem() const { return subsystem_; }
  const std::string& category() const { return category_; }

 private:
  void write(LogLevel level, std::string_view format, const std::vector<LogArg>& args) const;

  std::string subsystem_;
  std::string category_;
};

}  // namespace tavrel::platform
