#include "cpl/app/page_endpoint.h"

#include <ks.h>
#include <ksmedia.h>

#include <cstring>

#include "cpl/app/main_dialog.h"
#include "cpl/app/panel_tables.h"
#include "cpl/app/volume_math.h"

namespace veltrano::cpl {
namespace {

// {DFF21FE3-F70F-11D0-B917-00A0C9223196}
constexpr GUID kLineConnector = {
    0xDFF21FE3, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

void LatchFormat(CTarvoACPLUIDlg* dialog, const char* const* rateButtons,
                 const char* const* bitsButtons, uint32_t rate, uint16_t bits) {
    for (int i = 0; i < kPanelRateCount; ++i) {
        dialog->SetButtonCheck(rateButtons[i], kPanelRates[i] == rate);
    }
    for (int j = 0; j < kPanelBitsCount; ++j) {
        dialog->SetButtonCheck(bitsButtons[j], kPanelBits[j] == bits);
    }
}

void ShowByMasks(CTarvoACPLUIDlg* dialog, const char* const* rateButtons,
                 const char* const* bitsButtons, uint32_t rateMask, uint32_t bitsMask) {
    for (int i = 0; i < kPanelRateCount; ++i) {
        dialog->ShowButton(rateButtons[i], ((rateMask >> i) & 1u) != 0);
    }
    for (int j = 0; j < kPanelBitsCount; ++j) {
        dialog->ShowButton(bitsButtons[j], ((bitsMask >> j) & 1u) != 0);
    }
}

LatchedFormat Latched(const CTarvoACPLUIDlg* dialog, const char* const* rateButtons,
                      const char* const* bitsButtons) {
    LatchedFormat f{kPanelRates[kDefaultRateIndex], kPanelBits[kDefaultBitsIndex]};
    for (int i = 0; i < kPanelRateCount; ++i) {
        if (dialog->GetButtonCheck(rateButtons[i])) {
            f.rate = kPanelRates[i];
            break;
        }
    }
    for (int j = 0; j < kPanelBitsCount; ++j) {
        if (dialog->GetButtonCheck(bitsButtons[j])) {
            f.bits = kPanelBits[j];
            break;
        }
    }
    return f;
}

}  // namespace

// --- Playback --------------------------------------------------------------

int CPPagePlay::Init() {
    SelectFromFormat();
    ShowByMasks(m_dialog, kPlayRateButtons, kPlayBitsButtons, m_dialog->playRateMask,
                m_dialog->playBitsMask);
    RefreshSliders();
    RefreshMute();
    return 1;
}

void CPPagePlay::SelectFromFormat() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr) return;
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    if (FAILED(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask))) return;
    m_dialog->cachedPlayFormat = {rate, bits};
    LatchFormat(m_dialog, kPlayRateButtons, kPlayBitsButtons, rate, bits);
}

void CPPagePlay::ApplyFormat() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr) return;
    const LatchedFormat f = Latched(m_dialog, kPlayRateButtons, kPlayBitsButtons);
    if (SUCCEEDED(set->ApplyPlaybackFormat(f.bits, f.rate))) {
        m_dialog->cachedPlayFormat = {f.rate, f.bits};
    }
}

void CPPagePlay::ApplyMute() {
    if (AudioEndpointSet* set = m_dialog->Endpoints()) {
        set->SetPlaybackMute(m_dialog->GetButtonCheck("BTN_P_MUTE") != 0);
    }
}

void CPPagePlay::RefreshMute() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    BOOL mute = FALSE;
    if (set != nullptr && SUCCEEDED(set->GetPlaybackMute(&mute))) {
        m_dialog->SetButtonCheck("BTN_P_MUTE", mute);
    }
}

void CPPagePlay::RefreshSliders() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr ||
        FAILED(set->GetPlaybackVolume(&m_left, &m_right, &m_maximum, &m_minimum, &m_step))) {
        return;
    }
    m_dialog->SetSliderPos("SLDR_P_VOL_L", SliderValueFromDb(m_maximum, m_minimum, m_left));
    m_dialog->SetSliderPos("SLDR_P_VOL_R", SliderValueFromDb(m_maximum, m_minimum, m_right));
}

void CPPagePlay::ApplyVolume(const char* slider, int value) {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr || slider == nullptr) return;
    if (std::strcmp(slider, "SLDR_P_VOL_L") == 0) {
        m_left = DbFromSliderValue(m_maximum, m_minimum, value);
    } else if (std::strcmp(slider, "SLDR_P_VOL_R") == 0) {
        m_right = DbFromSliderValue(m_maximum, m_minimum, value);
    }
    set->SetPlaybackVolume(m_left, m_right);
}

// --- Record ----------------------------------------------------------------

int CPPageRecord::Init() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    m_lineIndex = 0;
    m_endpointCount = set != nullptr ? set->CaptureCount() : 0;
    m_dialog->captureEndpointCount = m_endpointCount;
    for (int k = m_endpointCount - 1; k >= 0; --k) {
        const EndpointRecord* record = set->CaptureRecord(k);
        if (record == nullptr || k >= kMaxConnectors) continue;
        m_connectors[k] = record->connectorSubtype;
        if (m_connectors[k] == kLineConnector) m_lineIndex = k;
    }
    RefreshFrom(0);
    ShowByMasks(m_dialog, kRecRateButtons, kRecBitsButtons, m_dialog->recRateMask,
                m_dialog->recBitsMask);
    RefreshSliders();
    BOOL mute = FALSE;
    if (set != nullptr && SUCCEEDED(set->GetRecordMute(m_lineIndex, &mute))) {
        m_dialog->SetButtonCheck("BTN_R_MUTE", mute);
    }
    return 1;
}

void CPPageRecord::RefreshFrom(int index) {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr) return;
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    if (SUCCEEDED(set->ReadRecordFormat(index, &rate, &bits, &channels, &mask))) {
        m_dialog->cachedRecFormat = {rate, bits};
        LatchFormat(m_dialog, kRecRateButtons, kRecBitsButtons, rate, bits);
    }
    // Every record endpoint follows the one that changed.
    ApplyFormat();
}

void CPPageRecord::ApplyFormat() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr) return;
    const LatchedFormat f = Latched(m_dialog, kRecRateButtons, kRecBitsButtons);
    for (int k = 0; k < m_endpointCount; ++k) {
        if (SUCCEEDED(set->ApplyRecordFormat(k, f.bits, f.rate))) {
            m_dialog->cachedRecFormat = {f.rate, f.bits};
        }
    }
}

void CPPageRecord::ApplyMute() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set != nullptr && m_lineIndex < set->CaptureCount()) {
        set->SetRecordMute(m_lineIndex, m_dialog->GetButtonCheck("BTN_R_MUTE") != 0);
    }
}

void CPPageRecord::RefreshMute() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    BOOL mute = FALSE;
    if (set != nullptr && SUCCEEDED(set->GetRecordMute(m_lineIndex, &mute))) {
        m_dialog->SetButtonCheck("BTN_R_MUTE", mute);
    }
}

void CPPageRecord::RefreshSliders() {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr || FAILED(set->GetRecordVolume(m_lineIndex, &m_left, &m_right, &m_maximum,
                                                      &m_minimum, &m_step))) {
        return;
    }
    m_dialog->SetSliderPos("SLDR_R_VOL_L", SliderValueFromDb(m_maximum, m_minimum, m_left));
    m_dialog->SetSliderPos("SLDR_R_VOL_R", SliderValueFromDb(m_maximum, m_minimum, m_right));
}

void CPPageRecord::ApplyVolume(const char* slider, int value) {
    AudioEndpointSet* set = m_dialog->Endpoints();
    if (set == nullptr || slider == nullptr) return;
    if (std::strcmp(slider, "SLDR_R_VOL_L") == 0) {
        m_left = DbFromSliderValue(m_maximum, m_minimum, value);
    } else if (std::strcmp(slider, "SLDR_R_VOL_R") == 0) {
        m_right = DbFromSliderValue(m_maximum, m_minimum, value);
    }
    set->SetRecordVolume(m_lineIndex, m_left, m_right);
}

}  // namespace veltrano::cpl
