#pragma once

// The tests' names for the local service's HTTPS server and its records.

#include <filesystem>

#include "local_service/https_server.h"

namespace tavrel::testing {

using HttpsTestServer = localservice::HttpsServer;
using StandInResponse = localservice::Response;
using localservice::Fault;
using localservice::RecordedRequest;
using localservice::sha256Of;
using localservice::sha256OfFile;

// The test certificate authority of this process: made once, on first use, with a server
// certificate for "localhost", 127.0.0.1 and ::1. Its PEM file lives until the process exits.
const std::filesystem::path& testCertificateAuthorityFile();

}  // namespace tavrel::testing
