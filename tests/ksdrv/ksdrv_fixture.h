#pragma once
// Tests of the kernel-streaming driver through its IASIO interface, on an
// object created the way the class factory does it, over the virtual device.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/user_settings.h"
#include "asio/core/asio_interface.h"
#include "asio/core/cunknown.h"
#include "asio/core/device_commands.h"
#include "common/contract/status_block.h"
#include "sim/sim.h"

namespace ksdrv {

// {5B2C7E10-3A41-4F0B-8D2E-6C1A9F300001}
inline constexpr GUID kClsid = {
    0x5b2c7e10, 0x3a41, 0x4f0b, {0x8d, 0x2e, 0x6c, 0x1a, 0x9f, 0x30, 0x00, 0x01}};

// The driver as a host holds it.
class Driver {
public:
    Driver();
    ~Driver() { Reset(); }
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;
    IASIO* operator->() const { return m_asio; }
    IASIO* get() const { return m_asio; }
    void Reset();
    HRESULT created = E_FAIL;

private:
    IASIO* m_asio = nullptr;
};

struct Command {
    veltrano::asio::DeviceCommand command;
    bool on;
};
// The device commands sent so far (any thread), in order.
std::vector<Command> SentCommands();
int CountCommands(veltrano::asio::DeviceCommand command, bool on);
void ClearCommands();

using veltrano::test::DeleteSettings;
using veltrano::test::WriteSetting;

// A device path with the accepted-devices table's first entry, built from a
// format with two %04x (vendor, product), e.g. "\\\\?\\usb#vid_%04x&pid_%04x#1".
std::string PathFor(const char* format);

class KsDriverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void Use(const sim::Config& config) { sim::Configure(config); }
};

// The status block as the control panel sees it (opened after the driver
// created it).
class BlockView {
public:
    BlockView() { m_block.Open(); }
    uint32_t Read(veltrano::StatusBlock::Field field) const { return m_block.Read(field); }
    void Write(veltrano::StatusBlock::Field field, uint32_t v) { m_block.Write(field, v); }
    bool Unowned() const { return m_block.Unowned(); }
    bool OwnedBy(const GUID& id) const { return m_block.OwnedBy(id); }

private:
    veltrano::StatusBlock m_block;
};

}  // namespace ksdrv
