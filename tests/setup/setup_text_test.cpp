#include <gtest/gtest.h>

#include <string>

#include "setup/certtool/certtool_args.h"
#include "setup/driver_lists.h"
#include "setup/setup_text.h"

namespace veltrano::setup {
namespace {

TEST(SetupPaths, JoinRefusesWhatWouldNotFitInsteadOfCutting) {
    const std::string folder(240, 'a');
    EXPECT_EQ(JoinPath(folder, std::string(19, 'b')).value(), folder + std::string(19, 'b'));  // 259
    EXPECT_FALSE(JoinPath(folder, std::string(20, 'b')));                                    // 260
    EXPECT_FALSE(JoinPath(std::string(300, 'a'), ""));
    EXPECT_FALSE(JoinPath(std::string("C:\\a\0b\\", 8), "x.dll"));
}

TEST(SetupPaths, QuotingKeepsCmdSpecialsButRefusesQuotesPercentAndControls) {
    EXPECT_EQ(RegSvr32Parameters("C:\\Program Files\\R&D\\x64\\A.dll", false).value(),
              "\"C:\\Program Files\\R&D\\x64\\A.dll\" /s");
    EXPECT_EQ(RegSvr32Parameters("C:\\P|^(x)\\A.dll", true).value(), "/u \"C:\\P|^(x)\\A.dll\" /s");
    EXPECT_EQ(DeleteCommandParameters("C:\\P\\Driver\\*.pnf").value(), " /C del \"C:\\P\\Driver\\*.pnf\"");
    EXPECT_EQ(CertToolParameters(true, "C:\\P\\NewCert.cer", CertStore::Root).value(),
              "-add \"C:\\P\\NewCert.cer\" -s -r localmachine root");
    EXPECT_EQ(CertToolParameters(false, "C:\\P\\NewCert.cer", CertStore::TrustedPublisher).value(),
              "-del \"C:\\P\\NewCert.cer\" -s -r localmachine trustedpublisher");
    for (const char* bad : {"C:\\a\"&calc&\"\\A.dll", "C:\\%PATH%\\A.dll", "C:\\a\nb\\A.dll", "C:\\a\tb", "C:\\a\x7f",
                            ""}) {
        EXPECT_FALSE(RegSvr32Parameters(bad, false)) << bad;
        EXPECT_FALSE(DeleteCommandParameters(bad)) << bad;
        EXPECT_FALSE(CertToolParameters(true, bad, CertStore::Root)) << bad;
    }
    // Bytes above 0x7f are ordinary code-page characters in a path.
    EXPECT_TRUE(IsQuotablePath("C:\\Programme\\M\xfcller\\A.dll"));
}

TEST(SetupCommandLine, UninstallSwitchAnywhereInAnyCaseWithinTheCopiedLength) {
    EXPECT_TRUE(HasUninstallSwitch("/u"));
    EXPECT_TRUE(HasUninstallSwitch("-x /UPDATE"));
    EXPECT_FALSE(HasUninstallSwitch(""));
    EXPECT_FALSE(HasUninstallSwitch("/S -u"));
    EXPECT_FALSE(HasUninstallSwitch(std::string(259, ' ') + "/U"));
    EXPECT_TRUE(HasUninstallSwitch(std::string(257, ' ') + "/U"));
}

TEST(DeviceSearchPath, AddPutsTheUpperCasedFolderFirstOnce) {
    EXPECT_EQ(DevicePathAdd("%SystemRoot%\\inf", "C:\\Pkg\\Driver"), "C:\\PKG\\DRIVER;%SystemRoot%\\inf");
    EXPECT_EQ(DevicePathAdd("C:\\PKG\\DRIVER;%SystemRoot%\\inf", "C:\\Pkg\\Driver"),
              "C:\\PKG\\DRIVER;%SystemRoot%\\inf");
    EXPECT_EQ(DevicePathAdd("%SystemRoot%\\inf;c:\\pkg\\driver", "C:\\Pkg\\Driver"),
              "%SystemRoot%\\inf;c:\\pkg\\driver");
    // A longer folder that merely starts with ours is another folder.
    EXPECT_EQ(DevicePathAdd("C:\\PKG\\DRIVERXP", "C:\\Pkg\\Driver"), "C:\\PKG\\DRIVER;C:\\PKG\\DRIVERXP");
    EXPECT_EQ(DevicePathAdd("", "C:\\Pkg\\Driver"), "C:\\PKG\\DRIVER");
    // A folder that cannot be one entry leaves the value alone.
    EXPECT_EQ(DevicePathAdd("a;b", "C:\\x;y"), "a;b");
    EXPECT_EQ(DevicePathAdd("a;b", ""), "a;b");
    EXPECT_FALSE(DevicePathRemove("a;C:\\x;y", "C:\\x;y"));
}

TEST(DeviceSearchPath, RemoveTakesOneSeparatorWithEachEntry) {
    EXPECT_EQ(DevicePathRemove("C:\\PKG\\DRIVER;%SystemRoot%\\inf", "C:\\Pkg\\Driver").value(), "%SystemRoot%\\inf");
    EXPECT_EQ(DevicePathRemove("%SystemRoot%\\inf;C:\\PKG\\DRIVER", "C:\\Pkg\\Driver").value(), "%SystemRoot%\\inf");
    EXPECT_EQ(DevicePathRemove("a;C:\\PKG\\DRIVER;b", "C:\\Pkg\\Driver").value(), "a;b");
    EXPECT_EQ(DevicePathRemove("C:\\PKG\\DRIVER", "C:\\Pkg\\Driver").value(), "");
    EXPECT_EQ(DevicePathRemove("C:\\PKG\\DRIVER;x;C:\\PKG\\DRIVER", "C:\\Pkg\\Driver").value(), "x");
    EXPECT_FALSE(DevicePathRemove("C:\\PKG\\DRIVERXP;b", "C:\\Pkg\\Driver"));
    EXPECT_FALSE(DevicePathRemove("", "C:\\Pkg\\Driver"));
    EXPECT_FALSE(DevicePathRemove(";;", ""));
}

TEST(HardwareIds, RevisionIsTakenOutOnlyWhenFollowedByAnInterface) {
    EXPECT_EQ(StripRevision("usb\\vid_1209&pid_0001&rev_0100&mi_01").value(), "USB\\VID_1209&PID_0001&MI_01");
    EXPECT_FALSE(StripRevision("USB\\VID_1209&PID_0001&MI_01"));
    EXPECT_FALSE(StripRevision("USB\\VID_1209&PID_0001&REV_0100"));
    EXPECT_FALSE(StripRevision("USB\\VID_1209&PID_0001&MI_01&REV_0100"));
    EXPECT_FALSE(StripRevision(""));
}

TEST(DriverLists, AudioEntriesThenInterfaceSixEntriesFromTheTable) {
    SupportedDeviceTableType table{};
    table[0] = {0x1209, 0x0001, 0x01};
    table[1] = {0xABCD, 0x00ef, 0x02};
    table[3] = {0x1111, 0x2222, 0x03};  // after the terminator: never used
    const auto entries = BuildDriverLists(table);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].hardwareId, "USB\\VID_1209&PID_0001&MI_01");
    EXPECT_EQ(entries[1].hardwareId, "USB\\VID_ABCD&PID_00EF&MI_02");
    EXPECT_EQ(entries[1].service, "VelHdUAC");
    EXPECT_EQ(entries[1].driverFile, "VelHdUAC.sys");
    EXPECT_EQ(entries[2].hardwareId, "USB\\VID_1209&PID_0001&MI_06");
    EXPECT_EQ(entries[3].infName, "VelHdiAP.inf");

    const auto items = BuildInstallList(entries, "C:\\P\\Driver");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].service, "VelHdUAC");
    EXPECT_EQ(items[0].infPath, "C:\\P\\Driver\\VelHdUAC.inf");
    EXPECT_EQ(items[1].infPath, "C:\\P\\Driver\\VelHdiAP.inf");
    EXPECT_EQ(BuildInstallList(entries, std::string(250, 'x'))[0].infPath, "");

    EXPECT_TRUE(InfLineNamesService("ServiceBinary = %12%\\velhduac.sys", items));
    EXPECT_TRUE(InfLineNamesService("AddService = VELHDIAP, 2", items));
    EXPECT_FALSE(InfLineNamesService("AddService = usbaudio, 2", items));
}

TEST(CertToolArguments, ExactlyTheAddAndDeleteLines) {
    using namespace veltrano::certtool;
    auto add = ParseArguments({"-add", "C:\\P\\NewCert.cer", "-s", "-r", "localmachine", "root"});
    ASSERT_TRUE(add);
    EXPECT_EQ(add->action, Action::Add);
    EXPECT_EQ(add->file, "C:\\P\\NewCert.cer");
    EXPECT_EQ(add->store, Store::Root);
    auto del = ParseArguments({"-del", "x.cer", "-s", "-r", "LocalMachine", "TrustedPublisher"});
    ASSERT_TRUE(del);
    EXPECT_EQ(del->action, Action::Delete);
    EXPECT_STREQ(StoreName(del->store), "TrustedPublisher");
    EXPECT_FALSE(ParseArguments({"-add", "x.cer", "-s", "-r", "currentuser", "root"}));
    EXPECT_FALSE(ParseArguments({"-add", "x.cer", "-s", "-r", "localmachine", "my"}));
    EXPECT_FALSE(ParseArguments({"-add", "x.cer", "-r", "-s", "localmachine", "root"}));
    EXPECT_FALSE(ParseArguments({"-put", "x.cer", "-s", "-r", "localmachine", "root"}));
    EXPECT_FALSE(ParseArguments({"-add", "", "-s", "-r", "localmachine", "root"}));
    EXPECT_FALSE(ParseArguments({"-add", "x.cer", "-s", "-r", "localmachine", "root", "extra"}));
    EXPECT_FALSE(ParseArguments({}));
}

}  // namespace
}  // namespace veltrano::setup
