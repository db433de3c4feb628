// A stand-in back end for checking how a driver DLL is built: discovery
// goes through the device seam, so the DLL finds the virtual device when it
// is the `_sim` variant and none under Wine when it is the real one. The
// device name is the path's "pid_XXXX" part, for the test to read back
// through getDriverName.

#include <cstring>
#include <string>
#include <vector>

#include "asio/core/asio_backend.h"
#include "asio/core/device_commands.h"
#include "platform/ks_setupdi.h"

namespace veltrano::asio {
namespace {

std::string FirstAudioInterface() {
    HDEVINFO set = platform::SetupDiGetClassDevsA(&KSCATEGORY_AUDIO, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return {};
    std::string path;
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    if (platform::SetupDiEnumDeviceInterfaces(set, nullptr, &KSCATEGORY_AUDIO, 0, &item)) {
        std::vector<char> buffer(1024);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (platform::SetupDiGetDeviceInterfaceDetailA(
                set, &item, detail, static_cast<DWORD>(buffer.size()), nullptr, nullptr)) {
            path = detail->DevicePath;
        }
    }
    platform::SetupDiDestroyDeviceInfoList(set);
    return path;
}

class SeamBackend : public AsioBackend {
public:
    HRESULT Discover(DeviceIdentity& identity) override {
        const std::string path = FirstAudioInterface();
        const size_t at = path.find("pid_");
        if (at == std::string::npos) return E_FAIL;
        const std::string name = path.substr(at, 8);
        std::memcpy(identity.deviceName, name.c_str(), name.size() + 1);
        return S_OK;
    }
    HRESULT Acquire(const DriverState&) override { return E_FAIL; }
    void BuildTable(Direction, int, DirectionSlots&) override {}
    ASIOError AllocateChannels(DriverState&, Direction, RateSlot&, ASIOBufferInfo*, long,
                               long) override {
        return ASE_NotPresent;
    }
    void ReleaseChannels(DriverState&, Direction, RateSlot&) override {}
    ASIOError StartThreads(DriverState&) override { return ASE_NotPresent; }
    void StopThreads(DriverState&) override {}
    ASIOError OnStart(DriverState&, bool) override { return ASE_NotPresent; }
    ASIOError OnStop(DriverState&, bool) override { return ASE_NotPresent; }
    ASIOError OutputReady(DriverState&) override { return ASE_NotPresent; }
    long ChannelGroup(Direction, const ChannelRoute&) const override { return 0; }
    void Shutdown() override {}
};

}  // namespace

// This stand-in never streams, so it never has a mode to command.
void SendDeviceCommand(uint16_t, uint16_t, DeviceCommand, bool) {}

std::unique_ptr<AsioBackend> CreateDriverBackend() noexcept {
    return std::unique_ptr<AsioBackend>(new (std::nothrow) SeamBackend);
}

}  // namespace veltrano::asio
