// A certificate authority and a server certificate for 127.0.0.1 and
// localhost, made in memory when a test asks for them, so that HTTPS tests
// run against real TLS without a committed key.
#pragma once

#include <memory>
#include <string>

using X509 = struct x509_st;
using EVP_PKEY = struct evp_pkey_st;

namespace kestrava::test {

class TestCertificates {
 public:
  // Makes a fresh authority and a server certificate signed by it.
  TestCertificates();
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  // The authority in PEM, for a client that is to trust the server.
  const std::string& authority_pem() const { return authority_pem_; }
  X509* server_certificate() const { return server_certificate_; }
  EVP_PKEY* server_key() const { return server_key_; }

 private:
  EVP_PKEY* authority_key_ = nullptr;
  X509* authority_ = nullptr;
  EVP_PKEY* server_key_ = nullptr;
  X509* server_certificate_ = nullptr;
  std::string authority_pem_;
};

}  // namespace kestrava::test
