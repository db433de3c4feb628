// The main dialog's view of the device: detection at start-up, the section
// switches, arrival and removal, the settle-delay re-probe and the poll tick.

// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "common/contract/registry_key.h"
#include "common/device_table.h"
#include "cpl/app/ks_probe.h"
#include "cpl/app/main_dialog.h"
#include "cpl/app/page_asio.h"
#include "cpl/app/page_endpoint.h"
#include "cpl/common/cpl_messages.h"
#include "platform/device_notify.h"

namespace veltrano::cpl {
namespace {

constexpr int kRetryTicks = 60;
DWORD g_settleDelayMs = 2000;

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

constexpr char kPackageKey[] = "SOFTWARE\\Veltrano\\Veltrano-HD";
constexpr char kPackageKeyWow[] = "SOFTWARE\\Wow6432Node\\Veltrano\\Veltrano-HD";

uint32_t ReadSwitch(const char* name, uint32_t fallback) {
    for (const char* path : {kPackageKey, kPackageKeyWow}) {
        const auto key = RegistryKey::Open(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS);
        if (const auto value = key.ReadDword(name)) return *value;
    }
    return fallback;
}

// Does an interface name (upper-cased in place, within its message) belong
// to an accepted device?
bool IsTableDevice(DEV_BROADCAST_DEVICEINTERFACE_A* message) {
    const size_t header = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
    if (message->dbcc_size <= header) return false;
    const size_t room = message->dbcc_size - header;
    char* name = message->dbcc_name;
    const size_t length = strnlen(name, room);
    if (length == room) return false;  // no terminator within the message
    for (size_t i = 0; i < length; ++i) {
        name[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    }
    const int count = SupportedDeviceCount(SupportedDeviceTable);
    for (int e = 0; e < count; ++e) {
        const SupportedDevice& entry = SupportedDeviceTable[static_cast<size_t>(e)];
        char pattern[32];
        std::snprintf(pattern, sizeof pattern, "USB#VID_%04X&PID_%04X", entry.vendorId,
                      entry.productId);
        if (std::strstr(name, pattern) != nullptr) return true;
    }
    return false;
}

}  // namespace

void CTarvoACPLUIDlg::SetSettleDelayMs(DWORD ms) { g_settleDelayMs = ms; }

bool CTarvoACPLUIDlg::DetectEndpoints() {
    if (m_endpointData.endpoints) {
        const int count = SupportedDeviceCount(SupportedDeviceTable);
        for (int e = 0; e < count; ++e) {
            const SupportedDevice& entry = SupportedDeviceTable[static_cast<size_t>(e)];
            int play = 0, rec = 0, asio = 0;
            if (SUCCEEDED(m_endpointData.endpoints->Probe(
                    entry.vendorId, entry.productId, entry.interfaceNumber, &play, &rec, &asio))) {
                m_presence = Presence{play != 0, rec != 0, asio != 0};
                m_vendorId = entry.vendorId;
                m_productId = entry.productId;
                return true;
            }
        }
    }
    m_presence = Presence{};
    return false;
}

void CTarvoACPLUIDlg::ProbeKsCapabilities() {
    const KsCapabilities caps = cpl::ProbeKsCapabilities(m_vendorId, m_productId);
    m_endpointData.playRateMask = caps.playRateMask;
    m_endpointData.playBitsMask = caps.playBitsMask;
    m_endpointData.recRateMask = caps.recRateMask;
    m_endpointData.recBitsMask = caps.recBitsMask;
}

bool CTarvoACPLUIDlg::ProbeKsPresence() {
    uint16_t vendor = 0, product = 0;
    if (!cpl::ProbeKsPresence(&vendor, &product)) return false;
    m_vendorId = vendor;
    m_productId = product;
    return true;
}

void CTarvoACPLUIDlg::ReadSectionSwitches() {
    m_switches.playRec = ReadSwitch("PlayRecPP", 0);
    m_switches.asioDrv = ReadSwitch("AsioDrvPP", 1);
    m_switches.rmtCtrl = ReadSwitch("RmtCtrlPP", 0);
}

void CTarvoACPLUIDlg::RegisterDeviceChanges() {
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kUsbDeviceInterface;
    HDEVNOTIFY handle =
        platform::RegisterDeviceNotificationA(m_hWnd, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    m_deviceNotify = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void CTarvoACPLUIDlg::ResetEndpointsIfProbed() {
    AudioEndpointSet* set = m_endpointData.endpoints.get();
    if (set && set->Probed()) set->Reset();
}

LRESULT CTarvoACPLUIDlg::OnDeviceChange(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return 0;
    auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return 0;
    if (!IsTableDevice(reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(header))) return 0;

    if (event == DBT_DEVICEARRIVAL) {
        m_tray.SetTip("Veltrano-HD");
        ResetEndpointsIfProbed();
        m_presence = Presence{};
        DeleteSections();
        m_arrivalPending = true;
        if (!IsCoreAudioKind(m_os.kind)) OnDeviceActive();
    } else {
        m_tray.SetTip("N/A");
        ResetEndpointsIfProbed();
        m_presence = Presence{};
        m_vendorId = m_productId = 0;
        m_endpointData.playRateMask = m_endpointData.playBitsMask = 0;
        m_endpointData.recRateMask = m_endpointData.recBitsMask = 0;
        DeleteSections();
        BuildSections();
    }
    return 0;
}

void CTarvoACPLUIDlg::OnDeviceActive() {
    if (!m_arrivalPending) return;
    m_arrivalPending = false;
    // The device's functions need a moment after the first endpoint is
    // active before all of them answer.
    SleepEx(g_settleDelayMs, FALSE);
    const bool detected = DetectEndpoints();
    if (IsCoreAudioKind(m_os.kind)) {
        if (!detected) return;
        ProbeKsCapabilities();
    } else if (ProbeKsPresence()) {
        m_presence.asio = true;
    } else {
        m_presence.asio = false;
        m_retry = true;
        m_retryCountdown = kRetryTicks;
        return;
    }
    BuildSections();
}

void CTarvoACPLUIDlg::OnPollTick() {
    SectionCall call(*this);
    if (m_asio && m_asio->HasBlock()) {
        if (const UINT command = m_asio->PendingCommand()) {
            SendMessage(WM_COMMAND, command, 0);
        }
    }
    if (AudioEndpointSet* set = m_endpointData.endpoints.get()) {
        const CachedFormat& play = m_endpointData.cachedPlayFormat;
        const CachedFormat& rec = m_endpointData.cachedRecFormat;
        uint32_t rate = 0, mask = 0;
        uint16_t bits = 0, channels = 0;
        if (m_play && SUCCEEDED(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask)) &&
            (rate != play.sampleRate || bits != play.bitsPerSample)) {
            PostMessageA(m_hWnd, WM_CPL_PLAY_FORMAT_CHANGED, 0, 0);
        }
        if (m_record) {
            for (int i = 0; i < m_endpointData.captureEndpointCount; ++i) {
                if (SUCCEEDED(set->ReadRecordFormat(i, &rate, &bits, &channels, &mask)) &&
                    (rate != rec.sampleRate || bits != rec.bitsPerSample)) {
                    PostMessageA(m_hWnd, WM_CPL_REC_FORMAT_CHANGED, static_cast<WPARAM>(i), 0);
                }
            }
        }
    }
    if (m_retry && m_retryCountdown > 0) {
        --m_retryCountdown;
        if (!IsCoreAudioKind(m_os.kind) && ProbeKsPresence()) {
            m_presence.asio = true;
            BuildSections();
            m_retry = false;
        }
    }
}

}  // namespace veltrano::cpl
