// The COM server through the boundaries hosts and installers use: the DLL's
// exported entry points, regsvr32, CoCreateInstance and the registry.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "asio/core/asio_interface.h"
#include "com/com_test_support.h"
#include "support/peer_process.h"

namespace {

using Microsoft::WRL::ComPtr;
using veltrano::test::KeyExists;
using veltrano::test::ReadString;
using veltrano::test::ScopedEnv;
using veltrano::test::TestDll;

const std::string kAsioKey = "Software\\ASIO\\Veltrano-HD";

GUID NewGuid() {
    GUID g{};
    EXPECT_EQ(CoCreateGuid(&g), S_OK);
    return g;
}

std::string ClassKey(const std::string& clsid) { return "CLSID\\" + clsid; }

std::string RegisteredClsid() {
    return ReadString(HKEY_LOCAL_MACHINE, kAsioKey, "CLSID", true).value_or("");
}

class ComServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(TestDll().module, nullptr) << TestDll().path;
        ASSERT_NE(TestDll().getClassObject, nullptr);
        ASSERT_NE(TestDll().canUnloadNow, nullptr);
        ASSERT_NE(TestDll().registerServer, nullptr);
        ASSERT_NE(TestDll().unregisterServer, nullptr);
    }
    void TearDown() override { TestDll().unregisterServer(); }

    ComPtr<IClassFactory> Factory(REFCLSID clsid) {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(TestDll().getClassObject(clsid, IID_IClassFactory,
                                           reinterpret_cast<void**>(factory.GetAddressOf())),
                  S_OK);
        return factory;
    }
};

void ExpectRegistrationOf(const std::string& clsid) {
    const std::string& dll = TestDll().path;
    ASSERT_EQ(clsid.size(), 38u) << clsid;
    EXPECT_EQ(clsid.front(), '{');
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kAsioKey, "Driver").value_or(""), dll);
    // Hosts show the key name; no description is written.
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kAsioKey, "Description").has_value());
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, ClassKey(clsid), "FriendlyName").value_or(""),
              "Veltrano-HD");
    const std::string inproc = ClassKey(clsid) + "\\InprocServer32";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, inproc, nullptr).value_or(""), dll);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, inproc, "ThreadingModel").value_or(""), "Apartment");
}

TEST_F(ComServer, RegistrationWritesTheAsioEntryAndTheClassEntryAndUnregistrationRemovesThem) {
    ASSERT_EQ(TestDll().registerServer(), S_OK);
    const std::string clsid = RegisteredClsid();
    ExpectRegistrationOf(clsid);

    // The current user's settings go with the driver; another user's stay.
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kAsioKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string otherUser = ".DEFAULT\\" + kAsioKey;
    const bool haveOtherUser =
        RegCreateKeyExA(HKEY_USERS, otherUser.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS;
    if (haveOtherUser) RegCloseKey(key);

    EXPECT_EQ(TestDll().unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAsioKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\ASIO"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(clsid)));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAsioKey));
    if (haveOtherUser) {
        EXPECT_TRUE(KeyExists(HKEY_USERS, otherUser));
        RegDeleteKeyA(HKEY_USERS, otherUser.c_str());
    }
    // Nothing left to remove is no failure.
    EXPECT_EQ(TestDll().unregisterServer(), S_OK);
}

TEST_F(ComServer, RegisteringTwiceKeepsOneEntryForTheSecondIdentifierAndTheFirstClassEntry) {
    ASSERT_EQ(TestDll().registerServer(), S_OK);
    const std::string first = RegisteredClsid();
    ASSERT_EQ(TestDll().registerServer(), S_OK);
    const std::string second = RegisteredClsid();
    EXPECT_NE(first, second);
    ExpectRegistrationOf(second);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(first) + "\\InprocServer32"));

    TestDll().unregisterServer();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(second)));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(first)));
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (ClassKey(first) + "\\InprocServer32").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassKey(first).c_str());
}

TEST_F(ComServer, UnregistrationIgnoresAHostileClassIdentifierValue) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kAsioKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    // No terminator, no identifier: must be neither overrun nor followed.
    const wchar_t junk[4] = {L'.', L'.', L'\\', L'x'};
    RegSetValueExW(key, L"CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(junk), sizeof(junk));
    RegCloseKey(key);
    EXPECT_EQ(TestDll().unregisterServer(), S_OK);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAsioKey));
}

TEST_F(ComServer, Regsvr32RegistersAndUnregistersTheDriver) {
    VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
    const std::string dll = "\"" + TestDll().path + "\"";
    ASSERT_EQ(veltrano::test::RunProcess("regsvr32.exe /s " + dll), 0);
    const std::string clsid = RegisteredClsid();
    ExpectRegistrationOf(clsid);
    ASSERT_EQ(veltrano::test::RunProcess("regsvr32.exe /u /s " + dll), 0);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAsioKey));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ClassKey(clsid)));
}

TEST_F(ComServer, HostsCreateTheDriverThroughItsRegistration) {
    ASSERT_EQ(TestDll().registerServer(), S_OK);
    std::wstring text;
    for (char c : RegisteredClsid()) text.push_back(static_cast<wchar_t>(c));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromString(text.c_str(), &clsid), S_OK);

    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        // As hosts do: the class identifier doubles as the interface identifier.
        ComPtr<IASIO> driver;
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid,
                                   reinterpret_cast<void**>(driver.GetAddressOf())),
                  S_OK);
        EXPECT_EQ(driver->init(nullptr), ASIOTrue);
        char name[32] = {};
        driver->getDriverName(name);
        EXPECT_STREQ(name, "Veltrano-HD Test");
        EXPECT_EQ(TestDll().canUnloadNow(), S_FALSE);
    }
    CoUninitialize();
}

TEST_F(ComServer, AnyClassIdentifierIsAcceptedAndBecomesTheObjectsIdentity) {
    for (int round = 0; round < 2; ++round) {
        const GUID clsid = NewGuid();
        ComPtr<IClassFactory> factory = Factory(clsid);
        ASSERT_NE(factory, nullptr);
        IASIO* driver = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, clsid, reinterpret_cast<void**>(&driver)), S_OK);
        ASSERT_NE(driver, nullptr);

        void* same = nullptr;
        EXPECT_EQ(driver->QueryInterface(clsid, &same), S_OK);
        EXPECT_EQ(same, driver);
        driver->Release();
        IUnknown* unknown = nullptr;
        EXPECT_EQ(driver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
        EXPECT_EQ(static_cast<void*>(unknown), static_cast<void*>(driver));
        unknown->Release();

        const GUID other = NewGuid();
        void* none = &same;
        EXPECT_EQ(driver->QueryInterface(other, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
        EXPECT_EQ(factory->CreateInstance(nullptr, other, &none), E_NOINTERFACE);
        EXPECT_EQ(none, nullptr);
        driver->Release();
    }
    EXPECT_EQ(TestDll().canUnloadNow(), S_OK);
}

TEST_F(ComServer, FactoryAnswersOnlyIUnknownAndIClassFactory) {
    const GUID clsid = NewGuid();
    ComPtr<IClassFactory> factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    void* p = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, factory.Get());
    static_cast<IUnknown*>(p)->Release();
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, &p), S_OK);
    EXPECT_EQ(p, factory.Get());
    static_cast<IUnknown*>(p)->Release();
    int marker = 0;
    p = &marker;
    EXPECT_EQ(factory->QueryInterface(IID_IPersist, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);
    factory.Reset();

    // Asked for an interface it lacks, DllGetClassObject fails and leaves
    // no factory behind.
    p = &marker;
    EXPECT_EQ(TestDll().getClassObject(clsid, IID_IPersist, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(TestDll().canUnloadNow(), S_OK);
}

// An outer object that counts the calls its inner object forwards to it.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        ++queries;
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
    long refs = 1;
    int queries = 0;
};

TEST_F(ComServer, AnAggregatedDriverForwardsToItsOuterObjectAndDiesWithIt) {
    const GUID clsid = NewGuid();
    ComPtr<IClassFactory> factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    Outer outer;
    void* p = &outer;
    EXPECT_EQ(factory->CreateInstance(&outer, clsid, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);

    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    factory.Reset();
    EXPECT_EQ(outer.refs, 1);
    IASIO* driver = nullptr;
    ASSERT_EQ(inner->QueryInterface(clsid, reinterpret_cast<void**>(&driver)), S_OK);
    // The driver interface's references and queries belong to the outer object.
    EXPECT_EQ(outer.refs, 2);
    driver->AddRef();
    EXPECT_EQ(outer.refs, 3);
    driver->Release();
    void* other = nullptr;
    driver->QueryInterface(IID_IPersist, &other);
    EXPECT_EQ(outer.queries, 1);
    driver->Release();
    EXPECT_EQ(outer.refs, 1);

    EXPECT_EQ(TestDll().canUnloadNow(), S_FALSE);
    inner->Release();  // the outer's own reference ends the inner object
    EXPECT_EQ(TestDll().canUnloadNow(), S_OK);
}

TEST_F(ComServer, WithoutADeviceCreationFailsAndDestroysTheObject) {
    ScopedEnv absent("VELTRANO_TEST_DEVICE", "absent");
    const GUID clsid = NewGuid();
    ComPtr<IClassFactory> factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    int marker = 0;
    void* p = &marker;
    EXPECT_EQ(factory->CreateInstance(nullptr, clsid, &p), E_FAIL);
    EXPECT_EQ(p, nullptr);
    factory.Reset();
    EXPECT_EQ(TestDll().canUnloadNow(), S_OK);
}

TEST_F(ComServer, UnloadWaitsForLiveObjectsAndLocks) {
    const GUID clsid = NewGuid();
    EXPECT_EQ(TestDll().canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(TestDll().canUnloadNow(), S_FALSE);

    IASIO* driver = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, clsid, reinterpret_cast<void**>(&driver)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(TestDll().canUnloadNow(), S_FALSE);  // the driver object and two locks
    driver->Release();
    EXPECT_EQ(TestDll().canUnloadNow(), S_FALSE);  // two locks

    factory = Factory(clsid);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(TestDll().canUnloadNow(), S_FALSE);  // the factory itself
    factory.Reset();
    EXPECT_EQ(TestDll().canUnloadNow(), S_OK);
}

}  // namespace
