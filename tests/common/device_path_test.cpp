#include <gtest/gtest.h>

#include <string>

#include "common/device_path.h"

namespace veltrano {
namespace {

constexpr const char* kLowerCaseUsbPath =
    "\\\\?\\usb#vid_1209&pid_0001&mi_01#7&2a8f5c1&0&0001#"
    "{6994ad04-93ef-11d0-a3cc-00a0c9223196}\\global";

TEST(DevicePath, LowerCaseCompositePathMatchesAfterUpperCasing) {
    DevicePathIds ids;
    ASSERT_TRUE(ParseDevicePath(kLowerCaseUsbPath, &ids));
    EXPECT_EQ(ids.vendorId, 0x1209);
    EXPECT_EQ(ids.productId, 0x0001);
    EXPECT_EQ(ids.interfaceNumber, 1);
    const SupportedDevice* entry = MatchDevicePath(kLowerCaseUsbPath);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry, &SupportedDeviceTable[0]);
}

TEST(DevicePath, MissingMarkersOrShortIdentifiersNeverMatch) {
    // Not a composite device: no interface part.
    EXPECT_EQ(MatchDevicePath("\\\\?\\usb#vid_1209&pid_0001#5&1#{x}"), nullptr);
    // Fewer than four hexadecimal characters after VID_ or PID_.
    EXPECT_EQ(MatchDevicePath("usb#vid_120&pid_0001&mi_01"), nullptr);
    EXPECT_EQ(MatchDevicePath("usb#vid_1209&pid_01&mi_01"), nullptr);
    EXPECT_EQ(MatchDevicePath("usb#vid_12g9&pid_0001&mi_01"), nullptr);
    // The identifiers end the text: nothing may be read past the terminator.
    EXPECT_EQ(MatchDevicePath("mi_01 pid_0001 vid_12"), nullptr);
    EXPECT_EQ(MatchDevicePath("mi_01 vid_1209 pid_"), nullptr);
    EXPECT_EQ(MatchDevicePath(""), nullptr);
    EXPECT_EQ(MatchDevicePath(nullptr), nullptr);
    // A pair that is not in the table.
    EXPECT_EQ(MatchDevicePath("usb#vid_1209&pid_0007&mi_01"), nullptr);
    EXPECT_EQ(MatchDevicePath("usb#vid_045e&pid_0001&mi_01"), nullptr);
}

TEST(DevicePath, OnlyTheFirst259CharactersTakePart) {
    std::string path(250, 'x');
    path += "vid_1209&pid_0001&mi_01";  // markers start inside, end outside the window
    EXPECT_EQ(MatchDevicePath(path.c_str()), nullptr);
    std::string fits(200, 'x');
    fits += "vid_1209&pid_0002&mi_01";
    const SupportedDevice* entry = MatchDevicePath(fits.c_str());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->productId, 0x0002);
}

TEST(DevicePath, TableEndsAtFirstZeroVendorAndFirstEntryWins) {
    SupportedDeviceTableType table{{{0x1234, 0x0010, 1}, {0x1234, 0x0010, 2}, {0, 0, 0},
                                    {0x1234, 0x0020, 1}, {0, 0, 0}, {0, 0, 0}}};
    EXPECT_EQ(SupportedDeviceCount(table), 2);
    const SupportedDevice* first = MatchDevicePath("USB#VID_1234&PID_0010&MI_02", table);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->interfaceNumber, 1);
    EXPECT_EQ(MatchDevicePath("USB#VID_1234&PID_0020&MI_01", table), nullptr);
}

TEST(DevicePath, DefaultTableIsTheConfiguredOne) {
    EXPECT_EQ(SupportedDeviceCount(SupportedDeviceTable), 6);
    for (const SupportedDevice& entry : SupportedDeviceTable) {
        EXPECT_EQ(entry.vendorId, 0x1209);
        EXPECT_EQ(entry.interfaceNumber, 1);
    }
}

TEST(DevicePath, SinglePairVariantComparesBothIdentifiers) {
    EXPECT_TRUE(MatchDevicePathPair(kLowerCaseUsbPath, 0x1209, 0x0001));
    EXPECT_FALSE(MatchDevicePathPair(kLowerCaseUsbPath, 0x1209, 0x0002));
    EXPECT_FALSE(MatchDevicePathPair(kLowerCaseUsbPath, 0x1208, 0x0001));
    EXPECT_FALSE(MatchDevicePathPair("usb#vid_1209&pid_0001", 0x1209, 0x0001));
}

}  // namespace
}  // namespace veltrano
