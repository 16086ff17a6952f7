// The program's configuration file: whatever it holds gives either a configuration whose address is
// its own normal form and whose hosts are valid, or one of the errors the start-up message names.

#include "app/desktop_configuration.h"
#include "fuzz_target.h"

using namespace tavrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto text = tavrel::fuzz::text(data, size);
  const auto info = DesktopConfiguration::parseInfoDictionary(text);
  const auto configuration = DesktopConfiguration::fromInfoDictionary(info);
  if (!configuration) {
    FUZZ_CHECK(describe(configuration.error()).size() > 0);
    return 0;
  }
  const auto address = configuration->webAppURL.toString();
  FUZZ_CHECK(DesktopConfiguration::validatedWebAppURL(address) == configuration->webAppURL);
  const nlohmann::json reread{{"TavrelStorageHosts", [&] {
                                 std::string joined;
                                 for (const auto& host : configuration->storageHosts) joined += host + ",";
                                 return joined;
                               }()}};
  const auto hosts = DesktopConfiguration::readStorageHosts({}, reread, false);
  FUZZ_CHECK(hosts.hasValue() && *hosts == configuration->storageHosts);
  return 0;
}
