#include "core_fixture.h"

#include <cstdlib>

#include "asio/core/driver_instance.h"
#include "asio/core/module.h"
#include "common/asio_status_block.h"
#include "support/peer_process.h"

namespace veltrano::test {

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
