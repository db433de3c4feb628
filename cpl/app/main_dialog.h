#pragma once
// CTarvoACPLUIDlg: the control panel's one window. It owns the device
// detection, the core-audio context, the notification-area icon, the
// one-second poll and the section objects, and routes the skin's clicks and
// slider moves to the sections.

#include <windows.h>

#include <cstdint>
#include <memory>

#include "common/os_kind.h"
#include "cpl/app/section_host.h"
#include "cpl/app/section_plan.h"
#include "cpl/app/tray_icon.h"
#include "cpl/endpoint/audio_endpoint_set.h"
#include "cpl/skin/skin_dialog.h"

class CPPageRemoteCtrl;

namespace veltrano::cpl {

class CPPagePlay;
class CPPageRecord;
class CPPageASIO;

class CTarvoACPLUIDlg : public skin::CSkinDialog {
public:
    CTarvoACPLUIDlg();
    ~CTarvoACPLUIDlg() override;

    BOOL OnInitDialog() override;
    void OnSkinButtonClicked(const char* name) override;
    void OnSkinSliderChanged(const char* name, int code, int value) override;

    // Inspection (tests).
    AudioEndpointSet* Endpoints() const { return m_endpointData.endpoints.get(); }
    CPPagePlay* PlaybackSection() const { return m_play.get(); }
    CPPageRecord* RecordSection() const { return m_record.get(); }
    CPPageASIO* AsioSection() const { return m_asio.get(); }
    ::CPPageRemoteCtrl* RemoteSection() const { return m_remote.get(); }
    const Presence& DevicePresence() const { return m_presence; }
    const OsKind& Os() const { return m_os; }
    bool TrayIconAdded() const { return m_tray.Added(); }
    const char* TrayTip() const { return m_tray.Tip(); }
    HICON AppIcon() const { return m_icon; }

    // The settle delay before a rebuild after the device arrived (2000 ms);
    // long cycling tests shorten it.
    static void SetSettleDelayMs(DWORD ms);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    // Detection (main_dialog_device.cpp).
    bool DetectEndpoints();
    void ProbeKsCapabilities();
    bool ProbeKsPresence();
    void ReadSectionSwitches();
    LRESULT OnDeviceChange(WPARAM event, LPARAM data);
    void OnDeviceActive();
    void OnPollTick();
    void RegisterDeviceChanges();
    void ResetEndpointsIfProbed();
    // Sections (main_dialog_sections.cpp). A section operation may run a
    // modal loop (the network settings dialog) or handle sent messages while
    // it waits (the remote service's stop); a device change, the poll tick or
    // an activation handled meanwhile must not delete the section under it.
    // While any section operation runs, BuildSections and DeleteSections only
    // note what was asked (the last request wins: a build starts with a
    // deletion), and the outermost operation carries it out as it returns.
    class SectionCall {
    public:
        explicit SectionCall(CTarvoACPLUIDlg& dialog) : m_dialog(dialog) { ++dialog.m_sectionBusy; }
        ~SectionCall() { m_dialog.EndSectionCall(); }
        SectionCall(const SectionCall&) = delete;
        SectionCall& operator=(const SectionCall&) = delete;

    private:
        CTarvoACPLUIDlg& m_dialog;
    };
    enum class PendingSections { None, Delete, Build };
    void BuildSections();
    void DeleteSections();
    void DeleteSectionsNow();
    void EndSectionCall();
    void Radio(const char* const* names, int count, const char* clicked);
    void ToggleGang(bool playback);
    // Window (main_dialog.cpp).
    bool OnCommand(UINT id);
    void OnTray(LPARAM mouse);
    void ShowAsio();
    void Shutdown();
    void PaintIconic();

    HICON m_icon = nullptr;
    OsKind m_os{4, 1, 7601};
    bool m_win10_1703 = false;
    // Declared before the sections, which use it, so it outlives them.
    EndpointSectionData m_endpointData;
    uint16_t m_vendorId = 0;
    uint16_t m_productId = 0;
    Presence m_presence;
    bool m_playGang = false;
    bool m_recGang = false;
    SectionSwitches m_switches;
    std::unique_ptr<CPPagePlay> m_play;
    std::unique_ptr<CPPageRecord> m_record;
    std::unique_ptr<CPPageASIO> m_asio;
    std::unique_ptr<::CPPageRemoteCtrl> m_remote;
    int m_sectionBusy = 0;
    PendingSections m_pendingSections = PendingSections::None;
    bool m_arrivalPending = false;
    bool m_retry = false;
    int m_retryCountdown = 0;
    HDEVNOTIFY m_deviceNotify = nullptr;
    TrayIcon m_tray;
    bool m_shutDown = false;
};

}  // namespace veltrano::cpl
