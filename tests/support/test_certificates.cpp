#include "support/test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace kestrava::test {
namespace {

EVP_PKEY* make_key() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (key == nullptr) {
    throw std::runtime_error("EVP_EC_gen failed");
  }
  return key;
}

void add_extension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) {
    throw std::runtime_error("bad certificate extension");
  }
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

X509* make_certificate(EVP_PKEY* key, const char* common_name, X509* issuer, EVP_PKEY* issuer_key,
                       long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 7L * 24 * 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(common_name), -1, -1, 0);
  X509* signer = issuer != nullptr ? issuer : cert;
  X509_set_issuer_name(cert, X509_get_subject_name(signer));
  if (issuer == nullptr) {
    add_extension(cert, cert, NID_basic_constraints, "critical,CA:TRUE");
    add_extension(cert, cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    add_extension(cert, cert, NID_subject_key_identifier, "hash");
  } else {
    add_extension(cert, signer, NID_basic_constraints, "critical,CA:FALSE");
    add_extension(cert, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    add_extension(cert, signer, NID_ext_key_usage, "serverAuth");
    add_extension(cert, signer, NID_authority_key_identifier, "keyid");
  }
  if (X509_sign(cert, issuer_key != nullptr ? issuer_key : key, EVP_sha256()) == 0) {
    X509_free(cert);
    throw std::runtime_error("X509_sign failed");
  }
  return cert;
}

std::string to_pem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(size));
  BIO_free(bio);
  return pem;
}

}  // namespace

TestCertificates::TestCertificates() {
  authority_key_ = make_key();
  authority_ = make_certificate(authority_key_, "Kestrava test authority", nullptr, nullptr, 1);
  server_key_ = make_key();
  server_certificate_ = make_certificate(server_key_, "127.0.0.1", authority_, authority_key_, 2);
  authority_pem_ = to_pem(authority_);
}

TestCertificates::~TestCertificates() {
  X509_free(server_certificate_);
  EVP_PKEY_free(server_key_);
  X509_free(authority_);
  EVP_PKEY_free(authority_key_);
}

}  // namespace kestrava::test
