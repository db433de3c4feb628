// The security of the named objects the drivers and the control panel
// share: the one descriptor both sides build, and what the status block
// carries once a driver object has created it.
#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "common/asio_status_block.h"
#include "common/contract/shared_object_security.h"
#include "core_fixture.h"

namespace veltrano::test {
namespace {

struct Entry {
    std::string sid;
    ACCESS_MASK mask;  // generic rights mapped to a section's own
    BYTE type;
    bool operator==(const Entry&) const = default;
};

struct Security {
    std::vector<Entry> dacl;
    std::vector<Entry> labels;
    bool daclPresent = false;
};

ACCESS_MASK SectionRights(ACCESS_MASK mask) {
    GENERIC_MAPPING mapping{STANDARD_RIGHTS_READ | SECTION_QUERY | SECTION_MAP_READ,
                            STANDARD_RIGHTS_WRITE | SECTION_MAP_WRITE,
                            STANDARD_RIGHTS_EXECUTE | SECTION_MAP_EXECUTE, SECTION_ALL_ACCESS};
    MapGenericMask(&mask, &mapping);
    return mask;
}

std::vector<Entry> Entries(PACL acl) {
    std::vector<Entry> out;
    for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(acl, i, &ace)) break;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Allowed and label entries share one layout: header, mask, SID.
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        char* text = nullptr;
        std::string sid = "?";
        if (ConvertSidToStringSidA(const_cast<DWORD*>(&allowed->SidStart), &text)) {
            sid = text;
            LocalFree(text);
        }
        const bool label = header->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE;
        out.push_back({sid, label ? allowed->Mask : SectionRights(allowed->Mask), header->AceType});
    }
    return out;
}

Security Describe(PSECURITY_DESCRIPTOR sd) {
    Security s;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    if (GetSecurityDescriptorDacl(sd, &present, &acl, &defaulted) && present) {
        s.daclPresent = true;
        s.dacl = Entries(acl);
    }
    present = FALSE;
    acl = nullptr;
    if (GetSecurityDescriptorSacl(sd, &present, &acl, &defaulted) && present) {
        s.labels = Entries(acl);
    }
    return s;
}

constexpr ACCESS_MASK kReadWrite = STANDARD_RIGHTS_READ | SECTION_QUERY | SECTION_MAP_READ |
                                   STANDARD_RIGHTS_WRITE | SECTION_MAP_WRITE;

// Read and write for the interactive user, SYSTEM and the administrators,
// nobody else; medium label, no write up.
const std::vector<Entry> kExpectedDacl = {
    {"S-1-5-4", kReadWrite, ACCESS_ALLOWED_ACE_TYPE},
    {"S-1-5-18", kReadWrite, ACCESS_ALLOWED_ACE_TYPE},
    {"S-1-5-32-544", kReadWrite, ACCESS_ALLOWED_ACE_TYPE},
};
const std::vector<Entry> kExpectedLabel = {
    {"S-1-16-8192", SYSTEM_MANDATORY_LABEL_NO_WRITE_UP, SYSTEM_MANDATORY_LABEL_ACE_TYPE},
};

TEST(SharedObjectSecurity, BuilderGivesReadWriteToInteractiveSystemAdminsAndAMediumLabel) {
    veltrano::SharedObjectSecurity security;
    ASSERT_NE(security.Attributes(), nullptr);
    EXPECT_EQ(security.Attributes()->lpSecurityDescriptor, security.Descriptor());
    EXPECT_FALSE(security.Attributes()->bInheritHandle);
    ASSERT_TRUE(IsValidSecurityDescriptor(security.Descriptor()));
    EXPECT_TRUE(security.Labelled());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(security.Descriptor(), &control, &revision));
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    const Security s = Describe(security.Descriptor());
    EXPECT_TRUE(s.daclPresent);
    EXPECT_EQ(s.dacl, kExpectedDacl);
    EXPECT_EQ(s.labels, kExpectedLabel);
}

// What another process finds on the block a driver object created: the
// descriptor above, not the creator's defaults.
TEST_F(CoreTest, StatusBlockCreatedByADriverCarriesTheSharedDescriptor) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    HANDLE mapping = OpenFileMappingA(READ_CONTROL, FALSE, kStatusBlockName);
    ASSERT_NE(mapping, nullptr) << GetLastError();
    PSECURITY_DESCRIPTOR sd = nullptr;
    const DWORD result = GetSecurityInfo(mapping, SE_KERNEL_OBJECT,
                                         DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION,
                                         nullptr, nullptr, nullptr, nullptr, &sd);
    ASSERT_EQ(result, static_cast<DWORD>(ERROR_SUCCESS));
    const Security s = Describe(sd);
    EXPECT_TRUE(s.daclPresent);
    EXPECT_EQ(s.dacl, kExpectedDacl);
    EXPECT_EQ(s.labels, kExpectedLabel);
    LocalFree(sd);
    CloseHandle(mapping);
}

}  // namespace
}  // namespace veltrano::test
