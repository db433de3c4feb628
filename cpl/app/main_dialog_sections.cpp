// The main dialog's sections: building them from the plan, and routing the
// skin's clicks and slider moves to them.

#include <cstring>
#include <new>

#include "cpl/app/main_dialog.h"
#include "cpl/app/page_asio.h"
#include "cpl/app/page_endpoint.h"
#include "cpl/app/panel_tables.h"
#include "cpl/remote/page_remote_ctrl.h"

namespace veltrano::cpl {
namespace {

bool Is(const char* name, const char* expected) { return std::strcmp(name, expected) == 0; }

}  // namespace

void CTarvoACPLUIDlg::DeleteSections() {
    if (m_sectionBusy > 0) {
        m_pendingSections = PendingSections::Delete;
        return;
    }
    DeleteSectionsNow();
}

void CTarvoACPLUIDlg::DeleteSectionsNow() {
    m_play.reset();
    m_record.reset();
    m_asio.reset();  // writes the ASIO settings back
    m_remote.reset();
}

void CTarvoACPLUIDlg::EndSectionCall() {
    if (--m_sectionBusy > 0 || m_pendingSections == PendingSections::None) return;
    const PendingSections pending = m_pendingSections;
    m_pendingSections = PendingSections::None;
    // After shutdown only the deletion is left to do.
    if (pending == PendingSections::Build && !m_shutDown) {
        BuildSections();
    } else {
        DeleteSectionsNow();
    }
}

void CTarvoACPLUIDlg::BuildSections() {
    if (m_sectionBusy > 0) {
        m_pendingSections = PendingSections::Build;
        return;
    }
    // A rebuild starts from no section objects.
    DeleteSectionsNow();
    // A section's init counts as one of its operations.
    SectionCall call(*this);
    const SectionPlan plan = PlanSections(m_switches, m_presence);
    m_presence = plan.presence;
    for (const SectionStep& step : plan.steps) {
        switch (step.kind) {
            case SectionStep::CreatePlayback:
                m_play.reset(new (std::nothrow) CPPagePlay(*this, m_endpointData));
                if (m_play) m_play->Init();
                break;
            case SectionStep::CreateRecord:
                m_record.reset(new (std::nothrow) CPPageRecord(*this, m_endpointData));
                if (m_record) m_record->Init();
                break;
            case SectionStep::CreateAsio:
                m_asio.reset(new (std::nothrow) CPPageASIO(*this));
                if (m_asio) m_asio->Init();
                break;
            case SectionStep::CreateRemote:
                // Its service's datagrams come to this window.
                m_remote.reset(new (std::nothrow) CPPageRemoteCtrl(this, m_hWnd));
                if (m_remote) m_remote->Init();
                break;
            case SectionStep::ShowButton:
                ShowButton(step.name, step.visible);
                break;
            case SectionStep::ShowLabel:
                ShowLabel(step.name, step.visible);
                break;
            case SectionStep::ShowSlider:
                ShowSlider(step.name, step.visible);
                break;
            case SectionStep::SetLabelText:
                SetLabelText(step.name, step.text);
                break;
            case SectionStep::RefreshAsio:
                if (m_asio) m_asio->Refresh();
                break;
        }
    }
}

void CTarvoACPLUIDlg::Radio(const char* const* names, int count, const char* clicked) {
    for (int i = 0; i < count; ++i) SetButtonCheck(names[i], FALSE);
    SetButtonCheck(clicked, TRUE);
}

void CTarvoACPLUIDlg::ToggleGang(bool playback) {
    const char* gang = playback ? "BTN_P_VOL_GANG" : "BTN_R_VOL_GANG";
    bool& flag = playback ? m_playGang : m_recGang;
    if (GetButtonCheck(gang)) {
        SetButtonCheck(gang, FALSE);
        flag = false;
        return;
    }
    SetButtonCheck(gang, TRUE);
    flag = true;
    const char* left = playback ? "SLDR_P_VOL_L" : "SLDR_R_VOL_L";
    const char* right = playback ? "SLDR_P_VOL_R" : "SLDR_R_VOL_R";
    const int v = GetSliderPos(left);
    SetSliderPos(right, v);
    if (playback && m_play) m_play->ApplyVolume(right, v);
    if (!playback && m_record) m_record->ApplyVolume(right, v);
}

void CTarvoACPLUIDlg::OnSkinButtonClicked(const char* name) {
    if (name == nullptr) return;
    SectionCall call(*this);
    if (Is(name, "BTN_HIDE")) {
        ShowWindow(SW_HIDE);
    } else if (IndexOfName(kPlayRateButtons, kPanelRateCount, name) >= 0) {
        Radio(kPlayRateButtons, kPanelRateCount, name);
        if (m_play) m_play->ApplyFormat();
    } else if (IndexOfName(kPlayBitsButtons, kPanelBitsCount, name) >= 0) {
        Radio(kPlayBitsButtons, kPanelBitsCount, name);
        if (m_play) m_play->ApplyFormat();
    } else if (Is(name, "BTN_P_MUTE")) {
        SetButtonCheck(name, !GetButtonCheck(name));
        if (m_play) m_play->ApplyMute();
    } else if (Is(name, "BTN_P_VOL_GANG")) {
        ToggleGang(true);
    } else if (IndexOfName(kRecRateButtons, kPanelRateCount, name) >= 0) {
        Radio(kRecRateButtons, kPanelRateCount, name);
        if (m_record) m_record->ApplyFormat();
    } else if (IndexOfName(kRecBitsButtons, kPanelBitsCount, name) >= 0) {
        Radio(kRecBitsButtons, kPanelBitsCount, name);
        if (m_record) m_record->ApplyFormat();
    } else if (Is(name, "BTN_R_MUTE")) {
        SetButtonCheck(name, !GetButtonCheck(name));
        if (m_record) m_record->ApplyMute();
    } else if (Is(name, "BTN_R_VOL_GANG")) {
        ToggleGang(false);
    } else if (IndexOfName(kAsioBitsButtons, kAsioBitsCount, name) >= 0) {
        Radio(kAsioBitsButtons, kAsioBitsCount, name);
        if (m_asio) m_asio->ApplyBitDepth();
    } else if (const int b = IndexOfName(kAsioBufferButtons, kAsioBufferCount, name); b >= 0) {
        Radio(kAsioBufferButtons, kAsioBufferCount, name);
        if (m_asio && m_asio->HasBlock()) {
            m_asio->Block().Write(&AsioStatusBlock::bufferSizeSetting, kAsioBufferSettings[b]);
        }
    } else if (Is(name, "BTN_ASIO_RESET")) {
        if (m_asio && m_asio->HasBlock()) m_asio->Block().Write(&AsioStatusBlock::resetRequest, 1);
    } else if (Is(name, "BTN_RMCT_NETWORK_SET")) {
        if (m_remote) m_remote->OnNetworkSetting();
    } else if (Is(name, "BTN_RMCT_START_SVR")) {
        if (m_remote) m_remote->OnServerToggle();
    }
}

void CTarvoACPLUIDlg::OnSkinSliderChanged(const char* name, int /*code*/, int value) {
    if (name == nullptr) return;
    SectionCall call(*this);
    const bool play = Is(name, "SLDR_P_VOL_L") || Is(name, "SLDR_P_VOL_R");
    const bool rec = Is(name, "SLDR_R_VOL_L") || Is(name, "SLDR_R_VOL_R");
    if (play && m_play) {
        if (m_playGang) {
            SetSliderPos(Is(name, "SLDR_P_VOL_L") ? "SLDR_P_VOL_R" : "SLDR_P_VOL_L", value);
            m_play->ApplyVolume("SLDR_P_VOL_L", value);
            m_play->ApplyVolume("SLDR_P_VOL_R", value);
        } else {
            m_play->ApplyVolume(name, value);
        }
    } else if (rec && m_record) {
        if (m_recGang) {
            SetSliderPos(Is(name, "SLDR_R_VOL_L") ? "SLDR_R_VOL_R" : "SLDR_R_VOL_L", value);
            m_record->ApplyVolume("SLDR_R_VOL_L", value);
            m_record->ApplyVolume("SLDR_R_VOL_R", value);
        } else {
            m_record->ApplyVolume(name, value);
        }
    }
}

}  // namespace veltrano::cpl
