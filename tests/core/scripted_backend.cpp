#include "scripted_backend.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <new>

#include "common/width_mask.h"

namespace veltrano::test {
namespace {

using asio::ChannelRoute;
using asio::DeviceStream;
using asio::Direction;
using asio::DirectionSlots;
using asio::DriverState;
using asio::RateSlot;

const char* Name(Direction d) { return d == Direction::kOutput ? "out" : "in"; }

class ScriptedBackend final : public asio::AsioBackend {
public:
    HRESULT Discover(asio::DeviceIdentity& identity) override {
        Log().calls.push_back("Discover");
        if (FAILED(Script().discover)) return Script().discover;
        lstrcpynA(identity.deviceName, Script().deviceName.c_str(), sizeof(identity.deviceName));
        identity.usbVendorId = 0x1209;
        identity.usbProductId = 0x0001;
        identity.widthMask = Script().widthMask;
        identity.hasInput = Script().hasInput;
        return S_OK;
    }

    int ClaimState() const override { return Script().claimState; }

    HRESULT Acquire(const DriverState&) override {
        Log().calls.push_back("Acquire");
        return Script().acquire;
    }

    void BuildTable(Direction d, int bits, DirectionSlots& slots) override {
        Log().calls.push_back(std::string("BuildTable ") + Name(d) + " " + std::to_string(bits));
        const bool input = d == Direction::kInput;
        const uint32_t widths = Script().widthsForRates;
        for (int i = 0; i < kRateCount; ++i) {
            if (input && !Script().hasInput) {
                slots[i].supported = true;
                continue;
            }
            const uint32_t channels =
                input ? Script().inputChannels[i] : Script().outputChannels[i];
            if (channels == 0 || (widths != 0 && (widths & WidthBit(bits)) == 0)) continue;
            DeviceStream& stream = m_streams[static_cast<int>(d)][i];
            stream = DeviceStream{.maxChannels = channels};
            slots[i].AddStream(&stream, channels);
        }
    }

    ASIOError AllocateChannels(DriverState&, Direction d, RateSlot& slot, ASIOBufferInfo* infos,
                               long count, long bufferSize) override {
        Log().calls.push_back(std::string("Allocate ") + Name(d));
        if (Script().allocate != ASE_OK) return Script().allocate;
        const bool input = d == Direction::kInput;
        for (long i = 0; i < count; ++i) {
            if ((infos[i].isInput != ASIOFalse) != input) continue;
            ChannelRoute& route = slot.routes[static_cast<size_t>(infos[i].channelNum)];
            for (void*& half : route.buffers) {
                half = LocalAlloc(LPTR, static_cast<SIZE_T>(bufferSize) * 4);
                if (half == nullptr) return ASE_NoMemory;
            }
            infos[i].buffers[0] = route.buffers[0];
            infos[i].buffers[1] = route.buffers[1];
            route.enabled = true;
            route.framesPerHalf = static_cast<uint32_t>(bufferSize);
            route.stream->inUse = true;
            route.stream->ready = true;
        }
        return ASE_OK;
    }

    void ReleaseChannels(DriverState&, Direction d, RateSlot& slot) override {
        Log().calls.push_back(std::string("Release ") + Name(d));
        for (ChannelRoute& route : slot.routes) {
            for (void*& half : route.buffers) {
                if (half != nullptr) LocalFree(half);
                half = nullptr;
            }
            route.enabled = false;
            if (route.stream != nullptr) route.stream->inUse = route.stream->ready = false;
        }
    }

    ASIOError StartThreads(DriverState&) override {
        Log().calls.push_back("StartThreads");
        return Script().startThreads;
    }
    void StopThreads(DriverState&) override { Log().calls.push_back("StopThreads"); }

    ASIOError OnStart(DriverState& driver, bool transition) override {
        Log().calls.push_back(transition ? "Start" : "Start idle");
        Log().state = &driver;
        return ASE_OK;
    }
    ASIOError OnStop(DriverState&, bool transition) override {
        Log().calls.push_back(transition ? "Stop" : "Stop idle");
        return ASE_OK;
    }
    ASIOError OutputReady(DriverState&) override {
        Log().calls.push_back("OutputReady");
        return ASE_OK;
    }

    long ChannelGroup(Direction d, const ChannelRoute& route) const override {
        // Distinct per direction and stream, so a test sees which one it got.
        const auto& streams = m_streams[static_cast<int>(d)];
        for (size_t i = 0; i < streams.size(); ++i) {
            if (&streams[i] == route.stream)
                return static_cast<long>(i) + (d == Direction::kInput ? 100 : 0);
        }
        return -1;
    }

    void Shutdown() override { Log().calls.push_back("Shutdown"); }

private:
    std::array<std::array<DeviceStream, kRateCount>, asio::kDirectionCount> m_streams{};
};

}  // namespace

bool BackendLog::Contains(const std::string& call) const { return IndexOf(call) >= 0; }

int BackendLog::IndexOf(const std::string& call) const {
    const auto it = std::find(calls.begin(), calls.end(), call);
    return it == calls.end() ? -1 : static_cast<int>(it - calls.begin());
}

BackendScript& Script() {
    static BackendScript script;
    return script;
}

BackendLog& Log() {
    static BackendLog log;
    return log;
}

void ResetBackend() {
    Script() = BackendScript{};
    Log() = BackendLog{};
}

}  // namespace veltrano::test

namespace veltrano::asio {

std::unique_ptr<AsioBackend> CreateDriverBackend() noexcept {
    return std::unique_ptr<AsioBackend>(new (std::nothrow) test::ScriptedBackend());
}

}  // namespace veltrano::asio
