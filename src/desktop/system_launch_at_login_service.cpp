#include "desktop/system_launch_at_login_service.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "desktop/bundle_identifier.h"
#include "platform/detached_process.h"
#include "platform/file_replacement.h"
#include "platform/logger.h"
#include "platform/url.h"

namespace tavrel {

namespace {

const platform::Logger& logger() {
  static const platform::Logger instance{std::string(bundleIdentifier), "LaunchAtLogin"};
  return instance;
}

LaunchAtLoginError posixError(int code) {
  return LaunchAtLoginError{"POSIX", code, std::strerror(code)};
}

// The executable as one quoted argument of an Exec line: quotes, backquotes, dollars and backslashes
// escaped inside the quotes, then backslashes escaped again as the entry's string rules ask, and
// "%" doubled so it is not read as a field code.
std::string execArgument(const std::string& path) {
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string result;
  for (const char c : quoted) {
    if (c == '\\') result += "\\\\";
    else if (c == '%') result += "%%";
    else result += c;
  }
  return result;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

// The value of `key` in the entry's main group, as written (not unescaped); none when absent.
std::optional<std::string> mainGroupValue(std::istream& entry, std::string_view key) {
  std::string line;
  bool inMainGroup = false;
  while (std::getline(entry, line)) {
    const auto text = trimmed(line);
    if (text.empty() || text.front() == '#') continue;
    if (text.front() == '[') {
      inMainGroup = text == "[Desktop Entry]";
      continue;
    }
    if (!inMainGroup) continue;
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    if (trimmed(text.substr(0, equals)) == key) return std::string(trimmed(text.substr(equals + 1)));
  }
  return std::nullopt;
}

// Whether the entry's main group says Hidden=true: the desktop then treats it as deleted.
bool isHidden(std::istream& entry) { return mainGroupValue(entry, "Hidden") == "true"; }

std::vector<std::filesystem::path> searchPath(const char* variable, std::string_view fallback) {
  const char* value = std::getenv(variable);
  std::string_view list = value && *value ? std::string_view(value) : fallback;
  std::vector<std::filesystem::path> folders;
  while (!list.empty()) {
    const auto colon = list.find(':');
    const auto folder = list.substr(0, colon);
    if (!folder.empty() && folder.front() == '/') folders.emplace_back(folder);
    list = colon == std::string_view::npos ? std::string_view{} : list.substr(colon + 1);
  }
  return folders;
}

// The program an Exec value starts, as a path: the entry's string escapes undone, then the first
// argument unquoted and its "%%" read as "%". Empty when the value starts with no program.
std::string programOfExec(std::string_view exec) {
  std::string value;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '\\' || i + 1 == exec.size()) {
      value += exec[i];
      continue;
    }
    const char next = exec[++i];
    value += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
  }
  std::string program;
  std::size_t i = 0;
  if (!value.empty() && value.front() == '"') {
    for (i = 1; i < value.size() && value[i] != '"'; ++i) {
      if (value[i] == '\\' && i + 1 < value.size()) ++i;
      program += value[i];
    }
  } else {
    for (; i < value.size() && value[i] != ' ' && value[i] != '\t'; ++i) program += value[i];
  }
  std::string unescaped;
  for (std::size_t j = 0; j < program.size(); ++j) {
    unescaped += program[j];
    if (program[j] == '%' && j + 1 < program.size() && program[j + 1] == '%') ++j;
  }
  return unescaped;
}

// `program` as an absolute path: as it is when it has a slash, else the first executable of that
// name on $PATH (as the desktop would find it), else the name itself.
std::string absoluteProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) return program;
  for (const auto& folder : searchPath("PATH", "/usr/local/bin:/usr/bin:/bin")) {
    const auto candidate = folder / program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return program;
}

// A value of the string type: a backslash is the one character of a path that needs escaping.
std::string stringValue(const std::string& text) {
  std::string value;
  for (const char c : text) {
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

}  // namespace

std::vector<std::string> SystemLaunchAtLoginService::settingsCommand(std::string_view currentDesktop) {
  while (!currentDesktop.empty()) {
    const auto colon = currentDesktop.find(':');
    if (currentDesktop.substr(0, colon) == "KDE") return {"systemsettings", "kcm_autostart"};
    currentDesktop = colon == std::string_view::npos ? std::string_view{} : currentDesktop.substr(colon + 1);
  }
  return {};
}

SystemLaunchAtLoginService::SystemLaunchAtLoginService(std::filesystem::path autostartFolder,
                                                       std::optional<std::filesystem::path> executable,
                                                       std::shared_ptr<platform::BrowserLaunching> opener)
    : autostartFolder_(std::move(autostartFolder)), opener_(std::move(opener)) {
  if (!executable) return;
  const std::string path = executable->string();
  for (const unsigned char c : path) {
    if (c < 0x20 || c == 0x7f) commandRefused_ = true;
  }
  command_ = LoginStartCommand{execArgument(path)};
}

SystemLaunchAtLoginService::SystemLaunchAtLoginService(std::filesystem::path autostartFolder,
                                                       std::optional<LoginStartCommand> command,
                                                       std::shared_ptr<platform::BrowserLaunching> opener)
    : autostartFolder_(std::move(autostartFolder)), command_(std::move(command)), opener_(std::move(opener)) {}

std::vector<std::filesystem::path> SystemLaunchAtLoginService::applicationFolders() {
  std::vector<std::filesystem::path> folders;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    folders.emplace_back(std::filesystem::path(xdg) / "applications");
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    folders.emplace_back(std::filesystem::path(home) / ".local/share/applications");
  }
  for (auto& folder : searchPath("XDG_DATA_DIRS", "/usr/local/share:/usr/share")) folders.push_back(folder / "applications");
  return folders;
}

std::optional<LoginStartCommand> SystemLaunchAtLoginService::commandFromExec(std::string_view exec) {
  std::string command;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const auto c = static_cast<unsigned char>(exec[i]);
    if (c < 0x20 || c == 0x7f) return std::nullopt;
    if (c != '%') {
      command += exec[i];
      continue;
    }
    if (i + 1 < exec.size() && exec[i + 1] == '%') command += "%%";
    ++i;  // a field code expands to nothing at login: no files, no address
  }
  const auto kept = trimmed(command);
  if (kept.empty()) return std::nullopt;
  return LoginStartCommand{std::string(kept)};
}

std::optional<LoginStartCommand> SystemLaunchAtLoginService::commandOfInstalledEntry(
    const std::vector<std::filesystem::path>& folders) {
  const std::string name = std::string(bundleIdentifier) + ".desktop";
  for (const auto& folder : folders) {
    std::ifstream entry(folder / name);
    if (!entry) continue;
    // The first entry found is the one the desktop starts, even when it cannot be used.
    if (isHidden(entry)) return std::nullopt;
    entry.clear();
    entry.seekg(0);
    const auto exec = mainGroupValue(entry, "Exec");
    return exec ? commandFromExec(*exec) : std::nullopt;
  }
  return std::nullopt;
}

std::unique_ptr<SystemLaunchAtLoginService> SystemLaunchAtLoginService::forCurrentUser(
    std::shared_ptr<platform::BrowserLaunching> opener) {
  std::filesystem::path config;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    config = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    config = std::filesystem::path(home) / ".config";
  }
  std::optional<std::filesystem::path> executable;
  std::error_code error;
  if (auto path = std::filesystem::read_symlink("/proc/self/exe", error); !error && path.is_absolute()) {
    executable = std::move(path);
  }
  if (config.empty()) return std::make_unique<SystemLaunchAtLoginService>(  // nowhere to put the entry
      std::filesystem::path{}, std::optional<LoginStartCommand>{}, std::move(opener));
  if (auto command = commandOfInstalledEntry(applicationFolders())) {
    return std::make_unique<SystemLaunchAtLoginService>(config / "autostart", std::move(command), std::move(opener));
  }
  return std::make_unique<SystemLaunchAtLoginService>(config / "autostart", std::move(executable), std::move(opener));
}

std::filesystem::path SystemLaunchAtLoginService::entryPath() const {
  return autostartFolder_ / (std::string(bundleIdentifier) + ".desktop");
}

std::optional<std::string> SystemLaunchAtLoginService::entryText(const std::filesystem::path& executable) {
  const std::string path = executable.string();
  for (const unsigned char c : path) {
    if (c < 0x20 || c == 0x7f) return std::nullopt;
  }
  return entryText(LoginStartCommand{execArgument(path)});
}

std::string SystemLaunchAtLoginService::entryText(const LoginStartCommand& command) {
  // TryExec: once the program is gone (the package purged), the desktop skips the entry it leaves
  // in the user's folder instead of failing to start it at every login.
  const auto program = absoluteProgram(programOfExec(command.exec));
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Tavrel\n"
         "Exec=" + command.exec + " " + std::string(loginStartOption) + "\n" +
         (program.empty() ? std::string() : "TryExec=" + stringValue(program) + "\n") +
         "Icon=" + std::string(bundleIdentifier) + "\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

int SystemLaunchAtLoginService::status() const {
  if (!command_) return notFound;
  std::ifstream entry(entryPath());
  if (!entry) return notRegistered;
  return isHidden(entry) ? notRegistered : enabledStatus;
}

platform::Expected<platform::Unit, LaunchAtLoginError> SystemLaunchAtLoginService::registerLoginItem() {
  if (!command_) return platform::unexpected(posixError(ENOENT));
  if (commandRefused_) return platform::unexpected(posixError(EINVAL));
  return writeEntry(entryText(*command_));
}

platform::Expected<platform::Unit, LaunchAtLoginError> SystemLaunchAtLoginService::addLoginStartOptionToOlderEntry() {
  std::ifstream entry(entryPath());
  if (!entry || isHidden(entry)) return platform::Unit{};
  entry.clear();
  entry.seekg(0);
  std::string text;
  std::string line;
  bool inMainGroup = false;
  bool changed = false;
  while (std::getline(entry, line)) {
    const auto kept = trimmed(line);
    if (!kept.empty() && kept.front() == '[') inMainGroup = kept == "[Desktop Entry]";
    const auto equals = kept.find('=');
    if (inMainGroup && !changed && equals != std::string_view::npos && trimmed(kept.substr(0, equals)) == "Exec") {
      const auto exec = trimmed(kept.substr(equals + 1));
      const auto option = " " + std::string(loginStartOption);
      if (exec.size() >= option.size() && exec.substr(exec.size() - option.size()) == option) return platform::Unit{};
      line = "Exec=" + std::string(exec) + option;
      changed = true;
    }
    text += line + "\n";
  }
  if (!changed) return platform::Unit{};
  return writeEntry(text);
}

platform::Expected<platform::Unit, LaunchAtLoginError> SystemLaunchAtLoginService::writeEntry(const std::string& text) {
  // An entry the user keeps elsewhere (a dotfiles folder) stays linked and gets the new text, and an
  // entry the user made private or shared with a group stays so.
  const auto replaced = platform::replaceFile(entryPath(), text, {.newFileMode = 0644, .keepsOwnFilePermissions = true});
  if (!replaced) return platform::unexpected(posixError(replaced.error().error));
  if (replaced->lostGroup) {
    logger().error("The login entry {} was saved without its group {} ({})", replaced->file.string(),
                   static_cast<std::uint64_t>(*replaced->lostGroup),
                   platform::publicArg(std::strerror(replaced->groupError)));
  }
  return platform::Unit{};
}

platform::Expected<platform::Unit, LaunchAtLoginError> SystemLaunchAtLoginService::unregisterLoginItem() {
  const int current = status();
  if (current != enabledStatus && current != requiresApprovalStatus) return platform::Unit{};
  if (::unlink(entryPath().c_str()) != 0 && errno != ENOENT) return platform::unexpected(posixError(errno));
  return platform::Unit{};
}

void SystemLaunchAtLoginService::openLoginItemsSettings() {
  const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
  if (const auto command = settingsCommand(desktop ? desktop : ""); !command.empty() && platform::startDetachedProcess(command)) return;
  if (!opener_) return;
  const auto folder = platform::Url::parse(
      "file://" + platform::percentEncode(autostartFolder_.string(), platform::CharacterSet::unreserved().adding("/")));
  if (folder) opener_->open(*folder, [](bool) {});
}

}  // namespace tavrel
