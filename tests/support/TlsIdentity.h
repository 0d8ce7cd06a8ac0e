// A self-signed certificate made by the test, for TLS servers of its own.
#pragma once

#include <string>

namespace tavi::test {

struct TTlsIdentity {
  std::string CertificatePem;
  std::string KeyPem;
  std::string Fingerprint;  // SHA-256, "AB:CD:...", as the client shows it
};

// A new key and a certificate for CommonName (also its IP address when it
// is one), valid for a day; Expired: the day before.
TTlsIdentity MakeSelfSignedIdentity(const std::string& CommonName = "127.0.0.1", bool Expired = false);

// Writes the two PEM texts to Folder/cert.pem and Folder/key.pem.
bool WriteIdentityFiles(const TTlsIdentity& Identity, const std::string& Folder);

}  // namespace tavi::test
