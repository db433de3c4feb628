#include "sim/devchange/control_channel.h"

// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <ks.h>
#include <ksmedia.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

#include "sim/audio/virtual_controls.h"
#include "sim/devchange/device_change.h"

namespace sim {
namespace {

constexpr DWORD kMaxRequest = 256;

bool ParseDirection(const std::string& word, bool* render) {
    if (word == "render") {
        *render = true;
    } else if (word == "capture") {
        *render = false;
    } else {
        return false;
    }
    return true;
}

WAVEFORMATEXTENSIBLE PcmFormat(uint32_t rate, uint16_t bits) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = 2;
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = bits;
    f.Format.nBlockAlign = static_cast<WORD>(bits / 8 * 2);
    f.Format.nAvgBytesPerSec = f.Format.nBlockAlign * rate;
    f.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
    f.Samples.wValidBitsPerSample = bits;
    f.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

HANDLE NewInstance(const std::string& name) {
    return CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, kMaxRequest, kMaxRequest, 0, nullptr);
}

void Serve(HANDLE pipe) {
    char buffer[kMaxRequest + 1] = {};
    DWORD got = 0;
    if (ReadFile(pipe, buffer, kMaxRequest, &got, nullptr) && got > 0) {
        std::string request(buffer, got);
        while (!request.empty() && (request.back() == '\n' || request.back() == '\r')) {
            request.pop_back();
        }
        const std::string reply = HandleControlRequest(request);
        DWORD put = 0;
        WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &put, nullptr);
        FlushFileBuffers(pipe);
    }
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
}

void ServeForever(std::string name) {
    HANDLE pipe = NewInstance(name);
    while (pipe != INVALID_HANDLE_VALUE) {
        const BOOL connected =
            ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        // The next instance exists before this one goes, so a client never
        // finds the name unserved between two requests.
        HANDLE next = NewInstance(name);
        if (connected) {
            Serve(pipe);
        } else {
            CloseHandle(pipe);
        }
        pipe = next;
    }
}

}  // namespace

std::string ControlPipeName() {
    const char* name = std::getenv("VELTRANO_SIM_CONTROL");
    return name != nullptr && name[0] != '\0' ? name : "\\\\.\\pipe\\VeltranoHD-sim-control";
}

void StartControlChannel() {
    static std::once_flag once;
    std::call_once(once, [] { std::thread(ServeForever, ControlPipeName()).detach(); });
}

std::string HandleControlRequest(const std::string& request) {
    std::istringstream in(request);
    std::string verb;
    in >> verb;
    bool render = true;
    std::string direction;
    if (verb == "unplug") return UnplugDevice() ? "ok" : "error already unplugged";
    if (verb == "plug") return PlugDevice() ? "ok" : "error already plugged";
    if (verb == "plug-audio-later") {
        return PlugDeviceAudioLater() ? "ok" : "error already plugged";
    }
    if (verb == "start-audio") return StartAudioFunction() ? "ok" : "error nothing waits";
    if (verb == "plugged") return DevicePlugged() ? "ok 1" : "ok 0";
    if (verb == "notifications") return "ok " + std::to_string(DeviceNotificationCount());
    if (verb == "deny-writes") {
        int deny = 0;
        if (!(in >> deny)) return "error usage: deny-writes 0|1";
        veltrano::sim::DenyPropertyWrites(deny != 0);
        return "ok";
    }
    if (verb == "format") {
        size_t index = 0;
        uint32_t rate = 0;
        uint32_t bits = 0;
        if (!(in >> direction >> index >> rate >> bits) || !ParseDirection(direction, &render) ||
            (bits != 16 && bits != 24 && bits != 32)) {
            return "error usage: format render|capture INDEX RATE 16|24|32";
        }
        return veltrano::sim::SetDeviceFormatExternally(
                   render, index, PcmFormat(rate, static_cast<uint16_t>(bits)))
                   ? "ok"
                   : "error no such endpoint";
    }
    if (verb == "get-format") {
        size_t index = 0;
        if (!(in >> direction >> index) || !ParseDirection(direction, &render)) {
            return "error usage: get-format render|capture INDEX";
        }
        WAVEFORMATEXTENSIBLE f{};
        if (!veltrano::sim::EndpointDeviceFormat(render, index, &f)) return "error no such endpoint";
        char reply[96];
        std::snprintf(reply, sizeof reply, "ok %lu %u %u", f.Format.nSamplesPerSec,
                      f.Format.wBitsPerSample, f.Format.nChannels);
        return reply;
    }
    if (verb == "volume") {
        size_t index = 0;
        uint32_t channel = 0;
        float db = 0;
        if (!(in >> direction >> index >> channel >> db) || !ParseDirection(direction, &render)) {
            return "error usage: volume render|capture INDEX CHANNEL DB";
        }
        return veltrano::sim::SetLevelAsMixer(render, index, channel, db) ? "ok"
                                                                           : "error refused";
    }
    if (verb == "mute") {
        size_t index = 0;
        int mute = 0;
        if (!(in >> direction >> index >> mute) || !ParseDirection(direction, &render)) {
            return "error usage: mute render|capture INDEX 0|1";
        }
        return veltrano::sim::SetMuteAsMixer(render, index, mute != 0) ? "ok" : "error refused";
    }
    return "error unknown request";
}

}  // namespace sim
