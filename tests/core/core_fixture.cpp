#include "core_fixture.h"

#include <cstdlib>

#include "asio/core/driver_instance.h"
#include "asio/core/module.h"
#include "common/asio_status_block.h"
#include "support/peer_process.h"

namespace veltrano::test {
namespace {

constexpr char kKeyPath[] = "Software\\ASIO\\Veltrano-HD";

}  // namespace

HostDriver::HostDriver(const GUID& clsid) {
    asio::CUnknown* object = asio::NewDriverObject(nullptr, clsid);
    if (object == nullptr) {
        created = E_OUTOFMEMORY;
        return;
    }
    object->NonDelegatingAddRef();
    created = asio::DiscoverDevice(object);
    if (SUCCEEDED(created)) {
        created = object->NonDelegatingQueryInterface(clsid, reinterpret_cast<void**>(&m_asio));
    }
    object->NonDelegatingRelease();
}

void HostDriver::Reset() {
    if (m_asio != nullptr) m_asio->Release();
    m_asio = nullptr;
}

void WriteSetting(const char* name, uint32_t value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const DWORD v = value;
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::optional<uint32_t> ReadSetting(const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void DeleteSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, kKeyPath); }

bool SettingsKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::optional<uint32_t> PeerReadBlock(uint32_t offset) {
    // A peer that could not start or printed nothing is asked once more: on
    // a loaded machine a process start can fail transiently, and a block that
    // is really absent gives the same answer twice.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const PeerResult result = RunPeer(std::string("read-mapping ") + kStatusBlockName + " " +
                                          std::to_string(offset));
        if (result.started && !result.output.empty()) {
            return static_cast<uint32_t>(std::strtoul(result.output.c_str(), nullptr, 10));
        }
        Sleep(50);
    }
    return std::nullopt;
}

bool PeerWriteBlock(uint32_t offset, uint32_t value) {
    const PeerResult result = RunPeer(std::string("write-mapping ") + kStatusBlockName + " " +
                                      std::to_string(offset) + " " + std::to_string(value));
    return result.started && result.exitCode == 0;
}

void CoreTest::SetUp() {
    ResetBackend();
    DeleteSettings();
    ASSERT_EQ(asio::ModuleObjectCount(), 0);
}

void CoreTest::TearDown() {
    // Every object of the test must be gone, which also drops the block.
    EXPECT_EQ(asio::ModuleObjectCount(), 0);
    DeleteSettings();
    ResetBackend();
}

}  // namespace veltrano::test
