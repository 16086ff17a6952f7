#include "support/https_test_server.h"

#include "local_service/certificate_authority.h"

namespace tavrel::testing {

const std::filesystem::path& testCertificateAuthorityFile() {
  return localservice::CertificateAuthority::ephemeral().certificateFile();
}

}  // namespace tavrel::testing
