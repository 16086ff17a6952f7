// tavrel-local-service: the web service on this computer, for running Tavrel for desktop
// without the real one. See --help.

#include <pthread.h>
#include <signal.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "local_service/local_service.h"

namespace {

using tavrel::localservice::HttpsServer;
using tavrel::localservice::LocalService;

constexpr std::uint16_t kDefaultPort = 8443;

const char* const kUsage =
    "Usage: tavrel-local-service [--port PORT] [--http] [--data-dir DIR] [--print-ca]\n"
    "                            [--keep-alive SECONDS] [--revoke-delay SECONDS]\n"
    "\n"
    "Serves a local stand-in for the Tavrel web service over HTTPS on 127.0.0.1: sign-in pages,\n"
    "the transfer API, the download pages of share links and the account's pages, and on a port\n"
    "of its own the storage for uploads. It is for development only: it has one account and no\n"
    "real security.\n"
    "\n"
    "  --port PORT     the web application's port on 127.0.0.1 (default 8443; 0 picks a free one)\n"
    "  --http          serve the web application over plain HTTP (storage stays on HTTPS); only\n"
    "                  a Tavrel built with TAVREL_ALLOW_LOCAL_HTTP accepts such an address\n"
    "  --data-dir DIR  where its certificate authority, uploads and state live\n"
    "                  (default $XDG_DATA_HOME/tavrel-local-service)\n"
    "  --print-ca      print the path of its CA certificate (making it if needed) and exit\n"
    "\n"
    "For tests of a long-running Tavrel:\n"
    "  --keep-alive SECONDS    close connections idle this long (default 5)\n"
    "  --revoke-delay SECONDS  answer each sign-out's revoke only after this long (default 0)\n"
    "\n"
    "Ctrl+C or SIGTERM stops it; accounts and transfers are kept for the next start.\n";

struct Arguments {
  std::uint16_t port = kDefaultPort;
  std::optional<std::filesystem::path> dataDirectory;
  std::chrono::seconds keepAliveTimeout{5};
  std::chrono::seconds revokeDelay{0};
  bool printsAuthority = false;
  bool plainHttp = false;
  bool showsHelp = false;
};

std::optional<std::uint16_t> parsePort(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::optional<std::chrono::seconds> parseSeconds(std::string_view text) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 86'400) return std::nullopt;
  return std::chrono::seconds(value);
}

// Throws std::invalid_argument with the text to show.
Arguments parse(int argc, char** argv) {
  Arguments arguments;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    std::optional<std::string_view> inlineValue;
    if (const auto equals = argument.find('='); argument.starts_with("--") && equals != std::string_view::npos) {
      inlineValue = argument.substr(equals + 1);
      argument = argument.substr(0, equals);
    }
    const auto value = [&]() -> std::string_view {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= argc) throw std::invalid_argument(std::string(argument) + " needs a value");
      return argv[++i];
    };
    if (argument == "--port") {
      const auto text = value();
      const auto port = parsePort(text);
      if (!port) throw std::invalid_argument("not a port: " + std::string(text));
      arguments.port = *port;
    } else if (argument == "--data-dir") {
      const auto text = value();
      if (text.empty()) throw std::invalid_argument("--data-dir needs a folder");
      arguments.dataDirectory = std::filesystem::absolute(std::filesystem::path(text));
    } else if (argument == "--keep-alive" || argument == "--revoke-delay") {
      const auto text = value();
      const auto seconds = parseSeconds(text);
      if (!seconds) throw std::invalid_argument("not a number of seconds: " + std::string(text));
      (argument == "--keep-alive" ? arguments.keepAliveTimeout : arguments.revokeDelay) = *seconds;
    } else if (argument == "--http" && !inlineValue) {
      arguments.plainHttp = true;
    } else if (argument == "--print-ca" && !inlineValue) {
      arguments.printsAuthority = true;
    } else if ((argument == "--help" || argument == "-h") && !inlineValue) {
      arguments.showsHelp = true;
    } else {
      throw std::invalid_argument("unknown option: " + std::string(argv[i]));
    }
  }
  return arguments;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  try {
    arguments = parse(argc, argv);
  } catch (const std::invalid_argument& error) {
    std::cerr << "tavrel-local-service: " << error.what() << "\n\n" << kUsage;
    return 2;
  }
  if (arguments.showsHelp) {
    std::cout << kUsage;
    return 0;
  }

  try {
    const auto dataDirectory = arguments.dataDirectory.value_or(LocalService::defaultDataDirectory());
    if (arguments.printsAuthority) {
      std::cout << LocalService::certificateAuthority(dataDirectory)->certificateFile().string() << '\n';
      return 0;
    }

    // Blocked before any server thread starts, so every thread inherits it and only sigwait
    // below receives the stop.
    // A shell starts background jobs with SIGINT ignored, and an ignored signal never reaches sigwait.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    const auto scheme = arguments.plainHttp ? HttpsServer::Scheme::http : HttpsServer::Scheme::https;
    LocalService service({dataDirectory, arguments.port, arguments.keepAliveTimeout, arguments.revokeDelay, scheme});
    std::cout << "tavrel-local-service: a local stand-in for the Tavrel web service (for development only)\n"
              << "  Address:      " << service.webAppURL().toString() << "\n"
              << "  Port:         " << service.port() << " on 127.0.0.1\n"
              << "  Storage:      " << service.storageURL().toString() << "\n"
              << "  CA:           " << service.certificateAuthorityFile().string()
              << (arguments.plainHttp ? "  (for storage; trust it in Tavrel only)\n"
                                      : "  (trust it in Tavrel only; browsers will warn)\n")
              << "  Data folder:  " << service.dataDirectory().string() << "\n"
              << "Press Ctrl+C to stop." << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    std::cout << "tavrel-local-service: stopping (" << (received == SIGINT ? "SIGINT" : "SIGTERM") << ")"
              << std::endl;
    service.stop();
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "tavrel-local-service: " << error.what() << '\n';
    return 1;
  }
}
