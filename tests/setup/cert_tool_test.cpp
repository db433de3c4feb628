// The publisher certificate and the certificate tool, run as PkgSetup runs
// it, against the prefix's local machine stores.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/cert_store_support.h"
#include "setup/setup_fixture.h"
#include "support/peer_process.h"

namespace veltrano::test {
namespace {

const std::string kPublisherDer = WinePath(VELTRANO_SOURCE_DIR "/setup/res/publisher.der");
const std::string kOtherDer = WinePath(VELTRANO_SOURCE_DIR "/tests/setup/data/other_same_subject.der");
const std::string kTool = WinePath(VELTRANO_VELCERT);
const std::string kOtherTool = WinePath(VELTRANO_VELCERT_OTHER);

long RunTool(const std::string& tool, const std::string& arguments, std::string* output = nullptr) {
    const PeerResult result = RunProcess("\"" + tool + "\" " + arguments, true, 60000);
    if (output) *output = result.output;
    return result.started ? static_cast<long>(result.exitCode) : -1;
}

std::string Args(const char* action, const std::string& file, const char* store) {
    return std::string(action) + " \"" + file + "\" -s -r localmachine " + store;
}

// It goes into the machine's root store: besides signing code it must not be
// able to do anything, least of all issue certificates that store would
// trust.
TEST(PublisherCertificate, IsA498ByteCodeSigningCertificateThatCannotActAsACertificateAuthority) {
    const auto der = ReadBinaryFile(kPublisherDer);
    ASSERT_TRUE(der);
    EXPECT_EQ(der->size(), 498u);
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der->data()),
                                                       static_cast<DWORD>(der->size()));
    ASSERT_NE(cert, nullptr);
    char name[128] = {};
    CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof name);
    EXPECT_STREQ(name, "Veltrano Audio");

    const CERT_INFO& info = *cert->pCertInfo;
    std::vector<std::string> oids;
    for (DWORD i = 0; i < info.cExtension; ++i) oids.push_back(info.rgExtension[i].pszObjId);
    std::vector<std::string> expected{szOID_BASIC_CONSTRAINTS2, szOID_KEY_USAGE, szOID_ENHANCED_KEY_USAGE};
    std::sort(oids.begin(), oids.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(oids, expected);

    struct Expected {
        const char* oid;
        bool critical;
        LPCSTR structType;
    };
    for (const Expected& want : {Expected{szOID_BASIC_CONSTRAINTS2, true, X509_BASIC_CONSTRAINTS2},
                                 Expected{szOID_KEY_USAGE, true, X509_KEY_USAGE},
                                 Expected{szOID_ENHANCED_KEY_USAGE, false, X509_ENHANCED_KEY_USAGE}}) {
        SCOPED_TRACE(want.oid);
        PCERT_EXTENSION ext = CertFindExtension(want.oid, info.cExtension, info.rgExtension);
        ASSERT_NE(ext, nullptr);
        EXPECT_EQ(ext->fCritical != FALSE, want.critical);
        void* decoded = nullptr;
        DWORD size = 0;
        ASSERT_TRUE(CryptDecodeObjectEx(X509_ASN_ENCODING, want.structType, ext->Value.pbData, ext->Value.cbData,
                                        CRYPT_DECODE_ALLOC_FLAG, nullptr, &decoded, &size));
        if (want.structType == X509_BASIC_CONSTRAINTS2) {
            EXPECT_FALSE(static_cast<CERT_BASIC_CONSTRAINTS2_INFO*>(decoded)->fCA);
        } else if (want.structType == X509_KEY_USAGE) {
            const auto* bits = static_cast<CRYPT_BIT_BLOB*>(decoded);
            ASSERT_GE(bits->cbData, 1u);
            EXPECT_EQ(bits->pbData[0], CERT_DIGITAL_SIGNATURE_KEY_USAGE);
            for (DWORD i = 1; i < bits->cbData; ++i) EXPECT_EQ(bits->pbData[i], 0);
        } else {
            const auto* usage = static_cast<CERT_ENHKEY_USAGE*>(decoded);
            ASSERT_EQ(usage->cUsageIdentifier, 1u);
            EXPECT_STREQ(usage->rgpszUsageIdentifier[0], szOID_PKIX_KP_CODE_SIGNING);
        }
        LocalFree(decoded);
    }
    CertFreeCertificateContext(cert);
}

class CertTool : public ::testing::Test {
protected:
    void SetUp() override {
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        publisher = ReadBinaryFile(kPublisherDer).value_or("");
        other = ReadBinaryFile(kOtherDer).value_or("");
        ASSERT_EQ(publisher.size(), 498u);
        ASSERT_FALSE(other.empty());
        CleanUp();
    }
    void TearDown() override { CleanUp(); }
    void CleanUp() {
        for (const char* store : {"Root", "TrustedPublisher"}) {
            RemoveFromStore(store, publisher);
            RemoveFromStore(store, other);
        }
    }

    void AddAndDelete(const std::string& tool) {
        for (const char* store : {"root", "trustedpublisher"}) {
            const char* storeName = std::string(store) == "root" ? "Root" : "TrustedPublisher";
            std::string output;
            EXPECT_EQ(RunTool(tool, Args("-add", kPublisherDer, store), &output), 0) << output;
            EXPECT_TRUE(StoreHoldsCertificate(storeName, publisher)) << store;
            // Adding twice is no error.
            EXPECT_EQ(RunTool(tool, Args("-add", kPublisherDer, store)), 0);
            EXPECT_EQ(RunTool(tool, Args("-del", kPublisherDer, store), &output), 0) << output;
            EXPECT_FALSE(StoreHoldsCertificate(storeName, publisher)) << store;
            EXPECT_EQ(RunTool(tool, Args("-del", kPublisherDer, store)), 7);
        }
    }

    std::string publisher, other;
};

TEST_F(CertTool, AddsAndDeletesSoTheNextProcessSeesIt) { AddAndDelete(kTool); }

TEST_F(CertTool, OtherArchitectureBuildDoesTheSame) {
    if (RunTool(kOtherTool, "") != 1) {
        VELTRANO_SKIP_ONLY_WITHOUT_32BIT("the other architecture's programs do not run in this Wine prefix: "
                                         << kOtherTool);
    }
    AddAndDelete(kOtherTool);
}

TEST_F(CertTool, DeleteNeverRemovesACertificateWithOtherContent) {
    // Same subject, issuer and serial number, another key.
    ASSERT_EQ(RunTool(kTool, Args("-add", kOtherDer, "root")), 0);
    EXPECT_EQ(RunTool(kTool, Args("-del", kPublisherDer, "root")), 7);
    EXPECT_TRUE(StoreHoldsCertificate("Root", other));
}

TEST_F(CertTool, EachFailureHasItsOwnExitCode) {
    std::string output;
    EXPECT_EQ(RunTool(kTool, "", &output), 1);
    EXPECT_NE(output.find("usage"), std::string::npos);
    EXPECT_EQ(RunTool(kTool, Args("-add", kPublisherDer, "my")), 1);
    EXPECT_EQ(RunTool(kTool, "-add \"" + kPublisherDer + "\" -s -r currentuser root"), 1);
    EXPECT_EQ(RunTool(kTool, Args("-add", kPublisherDer + ".missing", "root")), 2);
    const std::string folder = MakePackageFolder("velcert");
    ASSERT_TRUE(WriteTextFile(folder + "text.cer", "not a certificate"));
    EXPECT_EQ(RunTool(kTool, Args("-add", folder + "text.cer", "root"), &output), 3);
    EXPECT_NE(output.find("not a DER X.509 certificate"), std::string::npos) << output;
    RemoveFolder(folder);
}

}  // namespace
}  // namespace veltrano::test
