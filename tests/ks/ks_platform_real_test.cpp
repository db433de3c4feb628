// The seam's Windows side, under Wine: the setup API and CreateFileA are
// reached for real, and a machine without the device is reported without
// harm. (Wine's ksuser.dll exports KsCreatePin only as a stub that aborts the
// process, so pin creation is left to the virtual device.)

#include <gtest/gtest.h>

#include "kslib/ks_enum_filters.h"
#include "platform/win32_headers.h"

namespace {

TEST(KsPlatformReal, AMachineWithoutAudioFiltersListsNothing) {
    kslib::CKsEnumFilters enumerator;
    EXPECT_EQ(enumerator.EnumFilters(&KSCATEGORY_AUDIO, &KSCATEGORY_RENDER), E_FAIL);
    EXPECT_TRUE(enumerator.Filters().IsEmpty());
}

TEST(KsPlatformReal, OpeningAMissingDeviceFails) {
    HRESULT hr = E_FAIL;
    kslib::CKsAudRenFilter filter("\\\\?\\usb#vid_1209&pid_0001&mi_01#none#{x}\\global", "", &hr);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(filter.Instantiate(), E_FAIL);
}

}  // namespace
