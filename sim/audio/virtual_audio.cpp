#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/device_table.h"
#include "platform/audio/audio_seam.h"
#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_enumerator.h"
#include "sim/audio/sim_state.h"
#include "sim/profile/sim_profile.h"

namespace veltrano::sim {
namespace {

std::mutex g_worldLock;
std::shared_ptr<const VirtualWorld> g_world;
std::atomic<long> g_live{0};
std::atomic<long> g_references{0};
std::atomic<uint32_t> g_started{0};
std::atomic<unsigned> g_recordingNumber{0};

// The form Windows gives the endpoint's device-path property for a USB
// audio function.
std::wstring UsbPath(uint16_t productId, bool render, size_t index) {
    const SupportedDevice& first = SupportedDeviceTable[0];
    wchar_t text[200];
    swprintf(text, 200, L"{1}.USB\\VID_%04X&PID_%04X&MI_%02X\\7&1A2B3C4D&0&%04u&%ls",
             first.vendorId, productId != 0 ? productId : first.productId, first.interfaceNumber,
             static_cast<unsigned>(index), render ? L"0000" : L"0001");
    return text;
}

EndpointList MakeEndpoints(const std::vector<VirtualEndpointConfig>& configs, bool render,
                           const std::string& folder) {
    EndpointList list;
    for (size_t i = 0; i < configs.size(); ++i) {
        auto state = std::make_shared<EndpointState>();
        state->config = configs[i];
        state->render = render;
        wchar_t id[80];
        swprintf(id, 80, L"{0.0.%d.00000000}.{veltrano-sim-%ls-%u}", render ? 0 : 1,
                 render ? L"render" : L"capture", static_cast<unsigned>(i));
        state->id = id;
        state->path = configs[i].devicePath.empty() ? UsbPath(configs[i].productId, render, i)
                                                    : configs[i].devicePath;
        state->recordFolder = folder;
        state->controls = MakeEndpointControls(configs[i], render);
        list.push_back(std::move(state));
    }
    return list;
}

std::string ReadFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

LiveObject::LiveObject() { ++g_live; }
LiveObject::~LiveObject() { --g_live; }

RefCount::RefCount() { ++g_references; }
ULONG RefCount::AddRef() {
    ++g_references;
    return ++m_count;
}
ULONG RefCount::Release() {
    --g_references;
    return --m_count;
}

void ConfigureVirtualAudio(const VirtualAudioConfig& config) {
    auto world = std::make_shared<VirtualWorld>();
    world->render = MakeEndpoints(config.render, true, config.recordFolder);
    world->capture = MakeEndpoints(config.capture, false, std::string{});
    world->enumeratorResult = config.enumeratorResult;
    world->enumerationResult = config.enumerationResult;
    SetPropertyWritesDenied(config.denyPropertyWrites);
    std::lock_guard<std::mutex> guard(g_worldLock);
    g_world = std::move(world);
    g_started = 0;
}

VirtualAudioConfig ConfigFromEnvironment() {
    SimProfile profile;
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VELTRANO_SIM_PROFILE", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) profile = ParseSimProfile(ReadFile(path)).profile;

    std::vector<SampleContainer> containers;
    if (profile.widthMask & 0x2) containers.push_back({16, 16});
    if (profile.widthMask & 0x4) containers.push_back({24, 24});
    if (profile.widthMask & 0x8) containers.push_back({32, 32});

    VirtualAudioConfig config;
    config.render.clear();
    config.capture.clear();
    VirtualEndpointConfig endpoint;
    endpoint.productId = profile.productId;
    endpoint.containers = containers;
    endpoint.eventsStopAfterMs = profile.stopCompletingAfterMs;
    endpoint.unplugAfterMs = profile.unplugAfterMs;
    endpoint.minimumPeriod = static_cast<int64_t>(profile.minimumPeriodUs) * 10;
    endpoint.alignmentBytes = profile.bufferAlignmentBytes;
    if (profile.render) {
        VirtualEndpointConfig render = endpoint;
        render.rateMask = profile.rateMask;
        render.maxChannels = profile.channels;
        config.render.push_back(render);
    }
    if (profile.capture) {
        VirtualEndpointConfig capture = endpoint;
        capture.friendlyName = L"Line In (Veltrano-HD)";
        capture.rateMask = profile.captureRateMask;
        capture.maxChannels = profile.captureChannels;
        config.capture.push_back(capture);
        if (profile.microphone) {
            VirtualEndpointConfig microphone = capture;
            microphone.friendlyName = L"Microphone (Veltrano-HD)";
            microphone.control.kind = EndpointKind::Microphone;
            config.capture.push_back(microphone);
        }
    }
    config.denyPropertyWrites = profile.denyEndpointWrites;
    char folder[MAX_PATH];
    const DWORD folderLength = GetEnvironmentVariableA("VELTRANO_SIM_RECORD", folder, MAX_PATH);
    if (folderLength > 0 && folderLength < MAX_PATH) config.recordFolder = folder;
    return config;
}

std::shared_ptr<const VirtualWorld> CurrentWorld() {
    {
        std::lock_guard<std::mutex> guard(g_worldLock);
        if (g_world) return g_world;
    }
    ConfigureVirtualAudio(ConfigFromEnvironment());
    std::lock_guard<std::mutex> guard(g_worldLock);
    return g_world;
}

std::vector<RenderRecording> RenderRecordings(size_t renderIndex) {
    std::vector<RenderRecording> result;
    const auto world = CurrentWorld();
    if (renderIndex >= world->render.size()) return result;
    EndpointState& endpoint = *world->render[renderIndex];
    std::lock_guard<std::mutex> guard(endpoint.lock);
    for (const auto& recording : endpoint.recordings) result.push_back(*recording);
    return result;
}

void CountStreamStart() { ++g_started; }
uint32_t StreamsStarted() { return g_started; }
unsigned NextRecordingNumber() { return ++g_recordingNumber; }
long LiveVirtualObjects() { return g_live; }
long LiveVirtualReferences() { return g_references; }

}  // namespace veltrano::sim

namespace platform {

HRESULT CreateDeviceEnumerator(IMMDeviceEnumerator** enumerator) {
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;
    auto world = veltrano::sim::CurrentWorld();
    if (FAILED(world->enumeratorResult)) return world->enumeratorResult;
    return veltrano::sim::NewVirtualEnumerator(std::move(world), enumerator);
}

}  // namespace platform

namespace veltrano::sim {

uint32_t CaptureOverruns(size_t captureIndex) {
    const auto world = CurrentWorld();
    if (captureIndex >= world->capture.size()) return 0;
    return world->capture[captureIndex]->captureOverruns;
}

uint64_t EndpointPeriods(bool render, size_t index) {
    const auto world = CurrentWorld();
    const EndpointList& list = render ? world->render : world->capture;
    return index < list.size() ? list[index]->periods.load() : 0;
}

int64_t ServedBoundary(bool render, size_t index) {
    const auto world = CurrentWorld();
    const EndpointList& list = render ? world->render : world->capture;
    return index < list.size() ? list[index]->servedBoundary.load() : -1;
}

void UnplugVirtualDevice() {
    const auto world = CurrentWorld();
    for (const EndpointList* list : {&world->render, &world->capture}) {
        for (const auto& endpoint : *list) endpoint->unplugged = true;
    }
}

}  // namespace veltrano::sim
