#include "local_service/certificate_authority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace tavrel::localservice {
namespace {

void require(bool condition, const std::string& what) {
  if (!condition) throw std::runtime_error("certificate authority: " + what);
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  require(extension != nullptr, "extension");
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

X509* makeCertificate(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey, bool isAuthority,
                      long validDays) {
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  unsigned char serial[16];
  RAND_bytes(serial, sizeof serial);
  serial[0] &= 0x7F;
  BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
  BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
  BN_free(number);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), validDays * 24 * 3600);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* signer = issuer ? issuer : certificate;
  X509_set_issuer_name(certificate, X509_get_subject_name(signer));
  addExtension(certificate, signer, NID_subject_key_identifier, "hash");
  addExtension(certificate, signer, NID_authority_key_identifier, "keyid:always");
  if (isAuthority) {
    addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(certificate, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    addExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
    addExtension(certificate, signer, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1");
  }
  require(X509_sign(certificate, issuerKey, EVP_sha256()) > 0, "signing");
  return certificate;
}

// Writes through a file opened with `mode` bits from the start, so a key is never readable by others.
void writePem(const std::filesystem::path& path, mode_t mode, const auto& write) {
  const std::filesystem::path temporary = path.string() + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  require(fd >= 0, "cannot write " + temporary.string());
  FILE* file = ::fdopen(fd, "w");
  const bool written = file && write(file) == 1;
  const bool closed = file && std::fclose(file) == 0;
  if (!file) ::close(fd);
  require(written && closed, "cannot write " + temporary.string());
  std::filesystem::rename(temporary, path);
}

template <typename T>
T* readPem(const std::filesystem::path& path, T* (*read)(FILE*, T**, pem_password_cb*, void*)) {
  FILE* file = std::fopen(path.c_str(), "r");
  require(file != nullptr, "cannot read " + path.string());
  T* value = read(file, nullptr, nullptr, nullptr);
  std::fclose(file);
  require(value != nullptr, path.string() + " holds no usable PEM");
  return value;
}

}  // namespace

CertificateAuthority::~CertificateAuthority() {
  if (removesFile_) {
    std::error_code ignored;
    std::filesystem::remove(certificateFile_, ignored);
  }
  X509_free(serverCertificate_);
  X509_free(authority_);
  EVP_PKEY_free(serverKey_);
  EVP_PKEY_free(authorityKey_);
}

void CertificateAuthority::makeServerCertificate() {
  serverKey_ = EVP_EC_gen("P-256");
  require(serverKey_ != nullptr, "key generation");
  serverCertificate_ = makeCertificate(serverKey_, "localhost", authority_, authorityKey_, false, 30);
}

std::shared_ptr<const CertificateAuthority> CertificateAuthority::loadOrCreate(const std::filesystem::path& directory) {
  std::shared_ptr<CertificateAuthority> made(new CertificateAuthority());
  const auto certificatePath = directory / "ca.pem";
  const auto keyPath = directory / "ca-key.pem";
  std::filesystem::create_directories(directory);
  if (std::filesystem::exists(certificatePath) && std::filesystem::exists(keyPath)) {
    made->authority_ = readPem<X509>(certificatePath, PEM_read_X509);
    made->authorityKey_ = readPem<EVP_PKEY>(keyPath, PEM_read_PrivateKey);
    require(X509_check_private_key(made->authority_, made->authorityKey_) == 1,
            "ca.pem and ca-key.pem do not belong together");
  } else {
    made->authorityKey_ = EVP_EC_gen("P-256");
    require(made->authorityKey_ != nullptr, "key generation");
    made->authority_ =
        makeCertificate(made->authorityKey_, "Tavrel Local Service Authority", nullptr, made->authorityKey_, true, 3650);
    // The key first: a certificate without its key would be made anew next time anyway.
    writePem(keyPath, 0600, [&](FILE* file) {
      return PEM_write_PrivateKey(file, made->authorityKey_, nullptr, nullptr, 0, nullptr, nullptr);
    });
    writePem(certificatePath, 0644, [&](FILE* file) { return PEM_write_X509(file, made->authority_); });
  }
  made->certificateFile_ = certificatePath;
  made->makeServerCertificate();
  return made;
}

const CertificateAuthority& CertificateAuthority::ephemeral() {
  static const auto authority = [] {
    std::unique_ptr<CertificateAuthority> made(new CertificateAuthority());
    made->authorityKey_ = EVP_EC_gen("P-256");
    require(made->authorityKey_ != nullptr, "key generation");
    made->authority_ = makeCertificate(made->authorityKey_, "Tavrel Test Authority", nullptr, made->authorityKey_, true, 7);
    made->makeServerCertificate();
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrel-test-ca-XXXXXX.pem").string();
    const int fd = ::mkstemps(pattern.data(), 4);
    require(fd >= 0, "temporary file");
    FILE* file = ::fdopen(fd, "w");
    require(file && PEM_write_X509(file, made->authority_) == 1, "writing the PEM file");
    std::fclose(file);
    made->certificateFile_ = pattern;
    made->removesFile_ = true;
    return made;
  }();
  return *authority;
}

}  // namespace tavrel::localservice
