#include <windows.h>
#include <wincrypt.h>

#include <cstring>

#include "setup/cert_store_support.h"
#include "setup/setup_fixture.h"

namespace veltrano::test {

std::optional<std::string> ReadBinaryFile(const std::string& path) { return ReadWholeFile(path); }

namespace {

template <typename Action>
bool WithCertificate(const char* storeName, const std::string& encoded, Action action) {
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, storeName);
    if (!store) return false;
    bool found = false;
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
        if (cert->cbCertEncoded == encoded.size() &&
            std::memcmp(cert->pbCertEncoded, encoded.data(), encoded.size()) == 0) {
            found = true;
            action(store, cert);
            break;
        }
    }
    CertCloseStore(store, 0);
    return found;
}

}  // namespace

bool StoreHoldsCertificate(const char* store, const std::string& encoded) {
    return WithCertificate(store, encoded, [](HCERTSTORE, PCCERT_CONTEXT cert) { CertFreeCertificateContext(cert); });
}

void RemoveFromStore(const char* store, const std::string& encoded) {
    WithCertificate(store, encoded, [](HCERTSTORE handle, PCCERT_CONTEXT cert) {
        CertDeleteCertificateFromStore(cert);
        CertControlStore(handle, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    });
}

}  // namespace veltrano::test
