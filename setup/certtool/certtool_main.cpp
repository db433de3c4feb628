// Adds the package's publisher certificate to, or deletes it from, one of
// the local machine's system certificate stores:
//   -add "<file>" -s -r localmachine root|trustedpublisher
//   -del "<file>" -s -r localmachine root|trustedpublisher
// The store is committed before the tool ends, so the next process sees the
// change. -del removes only a certificate whose encoding equals the file's.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/win_owners.h"
#include "setup/certtool/certtool_args.h"

namespace {

using namespace veltrano::certtool;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kMaxCertificateBytes = 64 * 1024;

int Fail(int code, const char* what, const std::string& detail) {
    std::fprintf(stderr, "velcert: %s%s%s (error %lu)\n", what, detail.empty() ? "" : ": ", detail.c_str(),
                 GetLastError());
    return code;
}

bool ReadCertificateFile(const std::string& path, std::vector<BYTE>* bytes) {
    const veltrano::UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && size.QuadPart <= kMaxCertificateBytes;
    if (ok) {
        bytes->resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = ReadFile(file.get(), bytes->data(), static_cast<DWORD>(bytes->size()), &got, nullptr) && got == bytes->size();
    }
    return ok;
}

BOOL CloseStore(HCERTSTORE store) { return CertCloseStore(store, 0); }

using Store = veltrano::UniqueResource<veltrano::ReleasedBy<HCERTSTORE, &CloseStore>>;
using Certificate =
    veltrano::UniqueResource<veltrano::ReleasedBy<PCCERT_CONTEXT, &CertFreeCertificateContext>>;

// The store's certificate with exactly this encoding, or null.
PCCERT_CONTEXT FindSame(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    PCCERT_CONTEXT found = nullptr;
    while ((found = CertEnumCertificatesInStore(store, found)) != nullptr) {
        if (found->cbCertEncoded == certificate->cbCertEncoded &&
            std::memcmp(found->pbCertEncoded, certificate->pbCertEncoded, found->cbCertEncoded) == 0) {
            return found;
        }
    }
    return nullptr;
}

int Run(const Command& command) {
    std::vector<BYTE> bytes;
    if (!ReadCertificateFile(command.file, &bytes)) {
        return Fail(kExitFileUnreadable, "cannot read the certificate file", command.file);
    }
    const Certificate certificate(
        CertCreateCertificateContext(kEncoding, bytes.data(), static_cast<DWORD>(bytes.size())));
    if (!certificate) return Fail(kExitNotACertificate, "not a DER X.509 certificate", command.file);

    const char* storeName = StoreName(command.store);
    const Store store(CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, storeName));
    if (!store) return Fail(kExitStoreUnavailable, "cannot open the local machine store", storeName);

    if (command.action == Action::Add) {
        if (!CertAddCertificateContextToStore(store.get(), certificate.get(), CERT_STORE_ADD_REPLACE_EXISTING,
                                              nullptr)) {
            return Fail(kExitStoreChangeFailed, "cannot add the certificate to", storeName);
        }
    } else {
        PCCERT_CONTEXT found = FindSame(store.get(), certificate.get());
        if (!found) {
            std::fprintf(stderr, "velcert: the certificate is not in LocalMachine\\%s\n", storeName);
            return kExitNotInStore;
        }
        // Deleting frees the context it is given.
        if (!CertDeleteCertificateFromStore(found)) {
            return Fail(kExitStoreChangeFailed, "cannot delete the certificate from", storeName);
        }
    }
    if (!CertControlStore(store.get(), 0, CERT_STORE_CTRL_COMMIT, nullptr)) {
        return Fail(kExitCommitFailed, "cannot commit the store", storeName);
    }
    std::printf("velcert: certificate %s LocalMachine\\%s\n",
                command.action == Action::Add ? "added to" : "deleted from", storeName);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const auto command = ParseArguments(args);
    if (!command) {
        std::fprintf(stderr,
                     "usage: velcert -add|-del \"<certificate file>\" -s -r localmachine root|trustedpublisher\n");
        return kExitUsage;
    }
    return Run(*command);
}
