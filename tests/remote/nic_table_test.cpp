#include "cpl/remote/nic_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

uint32_t Net(int a, int b, int c, int d) {
    return rmct::HostToNetwork((uint32_t(a) << 24) | (uint32_t(b) << 16) | (uint32_t(c) << 8) |
                               uint32_t(d));
}

rmct::AdapterView View(const char* address, const char* mask, const char* description,
                       uint32_t type = 6) {
    rmct::AdapterView v;
    v.type = type;
    v.address = address;
    v.addressSize = std::strlen(address) + 1;
    v.mask = mask;
    v.maskSize = std::strlen(mask) + 1;
    v.description = description;
    v.descriptionSize = std::strlen(description) + 1;
    return v;
}

TEST(RemoteAddress, ParsesOnlyPlainDottedQuads) {
    uint32_t v = 0;
    ASSERT_TRUE(rmct::ParseDottedQuad("127.0.0.1", 16, &v));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&v);
    EXPECT_EQ(bytes[0], 127);  // first octet at the lowest address
    EXPECT_EQ(bytes[3], 1);
    EXPECT_EQ(v, Net(127, 0, 0, 1));
    EXPECT_TRUE(rmct::ParseDottedQuad("255.255.255.255", 16, &v));
    EXPECT_EQ(v, 0xFFFFFFFFu);
    // A field filled to the last byte without a NUL still parses within it.
    const char exact[7] = {'1', '.', '2', '.', '3', '.', '4'};
    EXPECT_TRUE(rmct::ParseDottedQuad(exact, sizeof(exact), &v));
    EXPECT_EQ(v, Net(1, 2, 3, 4));
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.0.0.1", "1..2.3", "1.2.3.4x", " 1.2.3.4",
                            "0x7f.0.0.1", "1234.1.1.1", "-1.0.0.0"}) {
        EXPECT_FALSE(rmct::ParseDottedQuad(bad, std::strlen(bad) + 1, &v)) << bad;
    }
    // Cut short by the field size.
    EXPECT_FALSE(rmct::ParseDottedQuad("10.0.0.1", 6, &v));
}

TEST(RemoteAddress, DirectedBroadcastSetsEveryHostBit) {
    EXPECT_EQ(rmct::DirectedBroadcast(0x7F000001u, 0xFF000000u), 0x7FFFFFFFu);  // 127.255.255.255
    EXPECT_EQ(rmct::DirectedBroadcast(0xC0A80117u, 0xFFFFFF00u), 0xC0A801FFu);  // 192.168.1.255
    EXPECT_EQ(rmct::DirectedBroadcast(0x0A000005u, 0xFFFFFFFCu), 0x0A000007u);
    EXPECT_EQ(rmct::DirectedBroadcast(0x0A000005u, 0xFFFFFFFFu), 0x0A000005u);
    // The empty table: an all-zero entry is a broadcast out of every interface.
    EXPECT_EQ(rmct::DirectedBroadcast(0, 0), 0xFFFFFFFFu);
}

TEST(RemoteAddress, FormatsFirstOctetFirst) {
    char text[16];
    rmct::FormatDottedQuad(Net(127, 11, 1, 2), text, sizeof(text));
    EXPECT_STREQ(text, "127.11.1.2");
    rmct::FormatDottedQuad(0xFFFFFFFFu, text, sizeof(text));
    EXPECT_STREQ(text, "255.255.255.255");
}

TEST(RemoteNicTable, SkipsAdaptersWithoutAddressAndKeepsOrder) {
    RmctNicTable t;
    rmct::InitNicTable(t, 5566);
    EXPECT_EQ(rmct::AddAdapter(t, View("0.0.0.0", "0.0.0.0", "Disconnected")), -1);
    EXPECT_EQ(rmct::AddAdapter(t, View("127.0.0.1", "255.0.0.0", "Loopback", 24)), 0);
    EXPECT_EQ(rmct::AddAdapter(t, View("not an address", "255.0.0.0", "Broken")), -1);
    EXPECT_EQ(rmct::AddAdapter(t, View("127.2.3.4", "garbage", "Second")), 1);
    EXPECT_EQ(t.count, 2);
    EXPECT_EQ(t.type[0], 24u);
    EXPECT_EQ(t.address[0], Net(127, 0, 0, 1));
    EXPECT_EQ(t.mask[0], Net(255, 0, 0, 0));
    EXPECT_STREQ(t.description[0], "Loopback");
    EXPECT_EQ(t.mask[1], 0xFFFFFFFFu);  // unreadable mask: its own subnet
    EXPECT_STREQ(t.description[1], "Second");
    EXPECT_EQ(t.port, 5566);
    rmct::ClearNicTable(t);
    EXPECT_EQ(t.count, 0);
    EXPECT_EQ(t.address[0], 0u);
    EXPECT_EQ(t.description[1][0], '\0');
    EXPECT_EQ(t.port, 5566);
}

TEST(RemoteNicTable, KeepsTheFirstSixteenAndCutsLongDescriptions) {
    RmctNicTable t;
    rmct::InitNicTable(t, 5566);
    const std::string longText(300, 'D');
    for (int i = 0; i < 20; ++i) {
        const std::string address = "127.0.0." + std::to_string(i + 1);
        const int index = rmct::AddAdapter(t, View(address.c_str(), "255.0.0.0", longText.c_str()));
        EXPECT_EQ(index, i < 16 ? i : -1);
    }
    EXPECT_EQ(t.count, 16);
    EXPECT_EQ(t.address[15], Net(127, 0, 0, 16));
    EXPECT_EQ(std::strlen(t.description[3]), 131u);
}

TEST(RemoteNicTable, CopyInRefusesTablesTheDialogCannotHold) {
    RmctNicTable page, dialog;
    rmct::InitNicTable(page, 5566);
    rmct::InitNicTable(dialog, 5566);
    EXPECT_FALSE(rmct::CopyTableIn(page, dialog));  // count 0
    rmct::AddAdapter(page, View("127.0.0.1", "255.0.0.0", "A"));
    rmct::AddAdapter(page, View("127.0.0.2", "255.0.0.0", "B"));
    page.selected = 16;
    EXPECT_FALSE(rmct::CopyTableIn(page, dialog));
    page.selected = -1;
    EXPECT_FALSE(rmct::CopyTableIn(page, dialog));
    page.count = 17;
    page.selected = 0;
    EXPECT_FALSE(rmct::CopyTableIn(page, dialog));
    EXPECT_EQ(dialog.count, 0);

    page.count = 2;
    page.selected = 1;
    page.port = 1234;
    std::strcpy(dialog.description[5], "stale");
    dialog.address[5] = 99;
    ASSERT_TRUE(rmct::CopyTableIn(page, dialog));
    EXPECT_EQ(dialog.count, 2);
    EXPECT_EQ(dialog.selected, 1);
    EXPECT_EQ(dialog.port, 1234);
    EXPECT_STREQ(dialog.description[1], "B");
    EXPECT_EQ(dialog.address[5], 0u);  // entries beyond count are zero
    EXPECT_EQ(dialog.description[5][0], '\0');
}

TEST(RemoteNicTable, CopyOutReplacesThePageAndSelectedTextFollows) {
    RmctNicTable page, dialog;
    rmct::InitNicTable(page, 0);
    rmct::InitNicTable(dialog, 5566);
    for (const char* a : {"127.0.0.1", "127.5.6.7", "127.9.9.9"})
        rmct::AddAdapter(page, View(a, "255.0.0.0", a));
    rmct::AddAdapter(dialog, View("127.5.6.7", "255.255.0.0", "only"));
    char text[16];
    rmct::CopyTableOut(dialog, page);
    EXPECT_EQ(page.count, 1);
    EXPECT_EQ(page.port, 5566);
    EXPECT_EQ(page.address[2], 0u);
    ASSERT_TRUE(rmct::SelectedAddressText(page, text, sizeof(text)));
    EXPECT_STREQ(text, "127.5.6.7");
    page.selected = 1;  // beyond count: no address to show
    EXPECT_FALSE(rmct::SelectedAddressText(page, text, sizeof(text)));
    rmct::ClearNicTable(page);
    EXPECT_FALSE(rmct::SelectedAddressText(page, text, sizeof(text)));
}

}  // namespace
