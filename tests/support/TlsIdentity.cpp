#include "TlsIdentity.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <stdexcept>

namespace tavi::test {

namespace {

std::string BioText(BIO* Bio) {
  char* Data = nullptr;
  const long Length = BIO_get_mem_data(Bio, &Data);
  return std::string(Data, static_cast<std::size_t>(Length));
}

}  // namespace

TTlsIdentity MakeSelfSignedIdentity(const std::string& CommonName, bool Expired) {
  EVP_PKEY* Key = EVP_EC_gen("P-256");
  X509* Certificate = X509_new();
  if (!Key || !Certificate) throw std::runtime_error("no key");
  X509_set_version(Certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(Certificate), 1);
  const long Shift = Expired ? -2 * 86400 : 0;
  X509_gmtime_adj(X509_getm_notBefore(Certificate), Shift - 60);
  X509_gmtime_adj(X509_getm_notAfter(Certificate), Shift + 86400);
  X509_set_pubkey(Certificate, Key);
  X509_NAME* Name = X509_get_subject_name(Certificate);
  X509_NAME_add_entry_by_txt(Name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(CommonName.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(Certificate, Name);
  const bool Numeric = CommonName.find_first_not_of("0123456789.") == std::string::npos;
  const std::string AltName = (Numeric ? "IP:" : "DNS:") + CommonName;
  if (X509_EXTENSION* Ext = X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, AltName.c_str())) {
    X509_add_ext(Certificate, Ext, -1);
    X509_EXTENSION_free(Ext);
  }
  X509_sign(Certificate, Key, EVP_sha256());

  TTlsIdentity Identity;
  BIO* Out = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(Out, Certificate);
  Identity.CertificatePem = BioText(Out);
  BIO_free(Out);
  Out = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(Out, Key, nullptr, nullptr, 0, nullptr, nullptr);
  Identity.KeyPem = BioText(Out);
  BIO_free(Out);

  unsigned char Digest[EVP_MAX_MD_SIZE];
  unsigned Length = 0;
  X509_digest(Certificate, EVP_sha256(), Digest, &Length);
  static const char Hex[] = "0123456789ABCDEF";
  for (unsigned I = 0; I < Length; ++I) {
    if (I) Identity.Fingerprint += ':';
    Identity.Fingerprint += Hex[Digest[I] >> 4];
    Identity.Fingerprint += Hex[Digest[I] & 15];
  }
  X509_free(Certificate);
  EVP_PKEY_free(Key);
  return Identity;
}

bool WriteIdentityFiles(const TTlsIdentity& Identity, const std::string& Folder) {
  std::ofstream Cert(Folder + "/cert.pem"), Key(Folder + "/key.pem");
  Cert << Identity.CertificatePem;
  Key << Identity.KeyPem;
  return Cert.good() && Key.good();
}

}  // namespace tavi::test
