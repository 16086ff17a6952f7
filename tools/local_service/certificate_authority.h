#pragma once

#include <filesystem>
#include <memory>

// OpenSSL's types, without its headers.
typedef struct evp_pkey_st EVP_PKEY;
typedef struct x509_st X509;

namespace tavrel::localservice {

// A certificate authority of our own and the one server certificate it signs, for "localhost",
// 127.0.0.1 and ::1. The authority's certificate is written as PEM to certificateFile(), which a
// client trusts to reach the server.
//
// IMPORTANT: Thread-safety. Immutable once made; share it between servers and threads freely.
class CertificateAuthority {
 public:
  // The authority kept in `directory` (ca.pem and its private key ca-key.pem, readable by the owner
  // only): read when both files are there, else made and written. The server certificate is made
  // afresh each time. Throws std::runtime_error when the files cannot be read or written.
  static std::shared_ptr<const CertificateAuthority> loadOrCreate(const std::filesystem::path& directory);
  // One authority for the whole process, made on first use, whose PEM lives in a temporary file
  // until the process exits.
  static const CertificateAuthority& ephemeral();

  ~CertificateAuthority();
  CertificateAuthority(const CertificateAuthority&) = delete;
  CertificateAuthority& operator=(const CertificateAuthority&) = delete;

  const std::filesystem::path& certificateFile() const { return certificateFile_; }
  X509* authority() const { return authority_; }
  X509* serverCertificate() const { return serverCertificate_; }
  EVP_PKEY* serverKey() const { return serverKey_; }

 private:
  CertificateAuthority() = default;
  void makeServerCertificate();

  EVP_PKEY* authorityKey_ = nullptr;
  X509* authority_ = nullptr;
  EVP_PKEY* serverKey_ = nullptr;
  X509* serverCertificate_ = nullptr;
  std::filesystem::path certificateFile_;
  bool removesFile_ = false;
};

}  // namespace tavrel::localservice
