#pragma once
// Shared set-up for driver-object tests: the scripted back end, a host-side
// handle that creates the object the way the class factory does, and the
// clean-up of the machine-wide state (settings key, status block) that one
// test case must not leave to the next.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "asio/core/asio_interface.h"
#include "asio/core/cunknown.h"
#include "scripted_backend.h"
#include "support/peer_process.h"
#include "support/user_settings.h"

namespace veltrano::test {

// {6A1C2B31-4F7E-4C8A-9D51-0B2E3F405161} and a second identity, as after a
// re-registration.
inline constexpr GUID kDriverClsid = {
    0x6a1c2b31, 0x4f7e, 0x4c8a, {0x9d, 0x51, 0x0b, 0x2e, 0x3f, 0x40, 0x51, 0x61}};
inline constexpr GUID kOtherClsid = {
    0x6a1c2b32, 0x4f7e, 0x4c8a, {0x9d, 0x51, 0x0b, 0x2e, 0x3f, 0x40, 0x51, 0x62}};

// The driver as a host holds it: an IASIO* obtained like CreateInstance does.
class HostDriver {
public:
    explicit HostDriver(const GUID& clsid = kDriverClsid);
    ~HostDriver() { Reset(); }
    HostDriver(const HostDriver&) = delete;
    HostDriver& operator=(const HostDriver&) = delete;

    // Null when creation failed; `created` holds the factory's result.
    IASIO* operator->() const { return m_asio; }
    IASIO* get() const { return m_asio; }
    HRESULT created = E_FAIL;
    void Reset();

private:
    IASIO* m_asio = nullptr;
};


// A 32-bit field of the status block as a second process sees it; nothing
// when the block does not exist.
std::optional<uint32_t> PeerReadBlock(uint32_t offset);
bool PeerWriteBlock(uint32_t offset, uint32_t value);

class CoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace veltrano::test
