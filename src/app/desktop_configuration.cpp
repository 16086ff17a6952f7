#include "app/desktop_configuration.h"

#include "platform/json.h"
#include "platform/posix_files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <system_error>

extern char** environ;

namespace tavrel {

namespace {

using namespace desktop_configuration_error;

constexpr std::string_view kWebAppURLKey = "TavrelWebAppURL";
constexpr std::string_view kStorageHostsKey = "TavrelStorageHosts";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string lowercased(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
  return result;
}

bool isLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool isValidStorageHost(std::string_view host) {
  std::size_t labels = 0;
  std::size_t start = 0;
  while (true) {
    const auto dot = host.find('.', start);
    const auto label = host.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    if (!std::all_of(label.begin(), label.end(), isLabelCharacter)) return false;
    ++labels;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return labels >= 2;
}

// A string's debug form: in double quotes, with quotes, backslashes and line breaks escaped, so the
// payload of the message reads back exactly.
std::string debugQuoted(std::string_view text) {
  std::string result = "\"";
  for (const char c : text) {
    switch (c) {
      case '"': result += "\\\""; break;
      case '\\': result += "\\\\"; break;
      case '\n': result += "\\n"; break;
      case '\r': result += "\\r"; break;
      case '\t': result += "\\t"; break;
      default: result += c;
    }
  }
  return result + "\"";
}

DesktopConfiguration::Environment processEnvironment() {
  DesktopConfiguration::Environment environment;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    environment.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return environment;
}

}  // namespace

std::string describe(const DesktopConfigurationError& error) {
  struct Describer {
    std::string operator()(const InvalidWebAppURL& e) const { return "invalidWebAppURL(" + debugQuoted(e.text) + ")"; }
    std::string operator()(const InvalidStorageHost& e) const { return "invalidStorageHost(" + debugQuoted(e.host) + ")"; }
    std::string operator()(const MissingWebAppURL&) const { return "missingWebAppURL"; }
  };
  return std::visit(Describer{}, error);
}

DesktopConfiguration DesktopConfiguration::load() { return load(infoPath()); }

bool DesktopConfiguration::buildAllowsLocalHTTP() {
#ifdef TAVREL_ALLOW_LOCAL_HTTP
  return true;
#else
  return false;
#endif
}

DesktopConfiguration DesktopConfiguration::load(const std::filesystem::path& path) {
  auto configuration = fromInfoDictionary(readInfoDictionary(path), buildAllowsLocalHTTP());
  if (configuration) return std::move(configuration).value();
  // Nothing may run against an unchecked address: stop here, before any window, log or service.
  const std::string message = "Invalid Tavrel web app configuration: " + describe(configuration.error()) + "\n";
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fflush(stderr);
  // A failure status, not a crash and its core dump; nothing built so far is torn down.
  std::_Exit(1);
}

std::filesystem::path DesktopConfiguration::infoPath() {
  if (const char* override = std::getenv("TAVREL_INFO_FILE"); override && *override) return override;
  std::error_code error;
  const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return executable.parent_path().parent_path() / "share" / "tavrel" / "Info.json";
}

DesktopConfiguration::InfoDictionary DesktopConfiguration::readInfoDictionary(const std::filesystem::path& path) {
  // Links are followed: a package may well install the file as one.
  const auto content = platform::readRegularFile(path, maximumInfoFileSize, /*followLinks=*/true);
  if (!content) return InfoDictionary::object();
  return parseInfoDictionary(*content);
}

DesktopConfiguration::InfoDictionary DesktopConfiguration::parseInfoDictionary(std::string_view content) {
  try {
    auto info = platform::parseJson(content, maximumInfoDepth);
    if (info.is_object()) return info;
  } catch (const platform::JsonDecodingError&) {
  }
  return InfoDictionary::object();
}

platform::Expected<DesktopConfiguration, DesktopConfigurationError> DesktopConfiguration::fromInfoDictionary(
    const InfoDictionary& info, bool allowsLocalHTTP) {
  // A case alone becomes the error in place; a whole error moved in makes g++ 12 under
  // AddressSanitizer warn of an uninitialised string.
  if (!info.is_object() || info.empty()) return platform::unexpected(MissingWebAppURL{});
  const auto entry = info.find(kWebAppURLKey);
  if (entry == info.end() || !entry->is_string() || entry->get_ref<const std::string&>().empty()) {
    return platform::unexpected(MissingWebAppURL{});
  }
  const auto& text = entry->get_ref<const std::string&>();
  auto webAppURL = validatedWebAppURL(text, allowsLocalHTTP);
  if (!webAppURL) return platform::unexpected(DesktopConfigurationError{InvalidWebAppURL{text}});
  auto hosts = readStorageHosts(processEnvironment(), info, /*allowEnvironment=*/false);
  if (!hosts) return platform::unexpected(hosts.error());
  return DesktopConfiguration{std::move(*webAppURL), std::move(hosts).value()};
}

std::optional<platform::Url> DesktopConfiguration::validatedWebAppURL(std::string_view text,
                                                                      bool allowsInsecureLocalhost) {
  const auto parsed = platform::Url::parse(trimmed(text));
  if (!parsed || parsed->scheme().empty() || !parsed->hasAuthority() || parsed->host().empty()) return std::nullopt;
  if (parsed->userInfo() || parsed->query() || parsed->fragment()) return std::nullopt;
  if (!parsed->path().empty() && parsed->path() != "/") return std::nullopt;
  const std::string scheme = lowercased(parsed->scheme());
  const std::string host = lowercased(parsed->host());
  const bool allowed =
      scheme == "https" || (scheme == "http" && allowsInsecureLocalhost && (host == "localhost" || host == "127.0.0.1"));
  if (!allowed) return std::nullopt;
  // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary string.
  std::string origin = scheme;
  origin += "://";
  if (parsed->isIPv6Host()) {
    origin += '[';
    origin += host;
    origin += ']';
  } else {
    origin += host;
  }
  if (parsed->port()) {
    origin += ':';
    origin += std::to_string(*parsed->port());
  }
  return platform::Url::parse(origin);
}

platform::Expected<std::set<std::string>, DesktopConfigurationError> DesktopConfiguration::readStorageHosts(
    const Environment& environment, const InfoDictionary& info, bool allowEnvironment) {
  std::string source;
  const auto variable = environment.find("TAVREL_STORAGE_HOSTS");
  if (allowEnvironment && variable != environment.end() && !variable->second.empty()) {
    source = variable->second;
  } else if (info.is_object()) {
    if (const auto entry = info.find(kStorageHostsKey); entry != info.end() && entry->is_string()) {
      source = entry->get<std::string>();
    }
  }

  std::set<std::string> hosts;
  std::string_view rest = source;
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    const auto piece = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    const std::string host = lowercased(trimmed(piece));
    if (host.empty()) continue;
    if (!isValidStorageHost(host)) return platform::unexpected(DesktopConfigurationError{InvalidStorageHost{host}});
    hosts.insert(host);
  }
  return hosts;
}

}  // namespace tavrel
