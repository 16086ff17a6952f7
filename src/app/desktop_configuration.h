#pragma once

// The two values the program is built with and must have to run: the web application's address and
// the storage hosts uploads may reach. They live in a JSON file installed beside the program
// (<prefix>/share/tavrel/Info.json, generated at build time), read and checked once at start-up.
//
//   {"TavrelWebAppURL": "https://app.example.com", "TavrelStorageHosts": "uploads.example.com,cdn.example.net"}
//
// A value of the wrong type (a number or an array where a string belongs) counts as absent.

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

#include "platform/expected.h"
#include "platform/url.h"

namespace tavrel {

namespace desktop_configuration_error {
struct InvalidWebAppURL {
  std::string text;  // as read, blanks kept
  friend bool operator==(const InvalidWebAppURL&, const InvalidWebAppURL&) = default;
};
struct InvalidStorageHost {
  std::string host;  // trimmed and lower-cased
  friend bool operator==(const InvalidStorageHost&, const InvalidStorageHost&) = default;
};
struct MissingWebAppURL {
  friend bool operator==(const MissingWebAppURL&, const MissingWebAppURL&) = default;
};
}  // namespace desktop_configuration_error

// Never shown to a user: it only ends up in the message of the stopped start-up.
using DesktopConfigurationError =
    std::variant<desktop_configuration_error::InvalidWebAppURL, desktop_configuration_error::InvalidStorageHost,
                 desktop_configuration_error::MissingWebAppURL>;

// `missingWebAppURL`, or the case name and its text in parentheses and double quotes:
// `invalidStorageHost("localhost")`.
std::string describe(const DesktopConfigurationError& error);

struct DesktopConfiguration {
  platform::Url webAppURL;             // lower-case origin: scheme, host and a written port
  std::set<std::string> storageHosts;  // lower case; may be empty

  using InfoDictionary = nlohmann::json;
  using Environment = std::map<std::string, std::string>;

  // Reads the program's Info.json and returns its configuration. Does not return when the
  // configuration is missing or invalid: writes "Invalid Tavrel web app configuration: " and the
  // error to standard error and ends the process with status 1, before anything else is built.
  // The address must be https, unless the build allows local http (see buildAllowsLocalHTTP).
  static DesktopConfiguration load();
  static DesktopConfiguration load(const std::filesystem::path& infoPath);

  // Whether this build admits a web application on plain http at 127.0.0.1 or localhost: only when
  // configured with TAVREL_ALLOW_LOCAL_HTTP, which the run command uses so that a browser never
  // meets the local service's private authority. Off in every build of the product.
  static bool buildAllowsLocalHTTP();

  // Where load() looks: $TAVREL_INFO_FILE when set (tests point the program at their own file),
  // else share/tavrel/Info.json under the prefix of the running executable (<prefix>/bin/tavrel).
  static std::filesystem::path infoPath();

  // The file's top-level object; an empty one when the file is missing, unreadable, not a regular
  // file (a folder or a FIFO), larger than maximumInfoFileSize, not JSON or not an object.
  static InfoDictionary readInfoDictionary(const std::filesystem::path& infoPath);
  // The same for the file's content; deeper than maximumInfoDepth reads as not JSON.
  static InfoDictionary parseInfoDictionary(std::string_view content);

  static constexpr std::size_t maximumInfoFileSize = 1024 * 1024;
  static constexpr std::size_t maximumInfoDepth = 32;

  // The checks of load(), as a result; `allowsLocalHTTP` is validatedWebAppURL's switch.
  static platform::Expected<DesktopConfiguration, DesktopConfigurationError> fromInfoDictionary(
      const InfoDictionary& info, bool allowsLocalHTTP = false);

  // The address's lower-case origin, or none: https only, or http for "localhost" and "127.0.0.1"
  // when `allowsInsecureLocalhost`; no user, password, query or fragment (even empty ones); no
  // path beyond "/". Surrounding blanks are trimmed.
  static std::optional<platform::Url> validatedWebAppURL(std::string_view text, bool allowsInsecureLocalhost = false);

  // The comma-separated host list of `TavrelStorageHosts` (or of $TAVREL_STORAGE_HOSTS when
  // `allowEnvironment` and it is set and not empty): empty pieces skipped, each host trimmed and
  // lower-cased; every host needs two or more labels of 1 to 63 ASCII letters, digits and "-",
  // neither beginning nor ending with "-". The first bad host is the error.
  static platform::Expected<std::set<std::string>, DesktopConfigurationError> readStorageHosts(
      const Environment& environment, const InfoDictionary& info, bool allowEnvironment);

  friend bool operator==(const DesktopConfiguration&, const DesktopConfiguration&) = default;
};

}  // namespace tavrel
