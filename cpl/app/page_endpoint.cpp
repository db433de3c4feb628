#include "cpl/app/page_endpoint.h"

#include <ks.h>
#include <ksmedia.h>

#include <cstring>

#include "cpl/app/panel_tables.h"
#include "cpl/app/volume_math.h"

namespace veltrano::cpl {
namespace {

// {DFF21FE3-F70F-11D0-B917-00A0C9223196}
constexpr GUID kLineConnector = {
    0xDFF21FE3, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

void LatchFormat(skin::SkinSurface& skin, const char* const* rateButtons,
                 const char* const* bitsButtons, uint32_t rate, uint16_t bits) {
    for (int i = 0; i < kPanelRateCount; ++i) {
        skin.SetButtonCheck(rateButtons[i], kPanelRates[i] == rate);
    }
    for (int j = 0; j < kPanelBitsCount; ++j) {
        skin.SetButtonCheck(bitsButtons[j], kPanelBits[j] == bits);
    }
}

void ShowByMasks(skin::SkinSurface& skin, const char* const* rateButtons,
                 const char* const* bitsButtons, uint32_t rateMask, uint32_t bitsMask) {
    for (int i = 0; i < kPanelRateCount; ++i) {
        skin.ShowButton(rateButtons[i], ((rateMask >> i) & 1u) != 0);
    }
    for (int j = 0; j < kPanelBitsCount; ++j) {
        skin.ShowButton(bitsButtons[j], ((bitsMask >> j) & 1u) != 0);
    }
}

LatchedFormat Latched(const skin::SkinSurface& skin, const char* const* rateButtons,
                      const char* const* bitsButtons) {
    LatchedFormat f{kPanelRates[kDefaultRateIndex], kPanelBits[kDefaultBitsIndex]};
    for (int i = 0; i < kPanelRateCount; ++i) {
        if (skin.GetButtonCheck(rateButtons[i])) {
            f.rate = kPanelRates[i];
            break;
        }
    }
    for (int j = 0; j < kPanelBitsCount; ++j) {
        if (skin.GetButtonCheck(bitsButtons[j])) {
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
    ShowByMasks(m_skin, kPlayRateButtons, kPlayBitsButtons, m_data.playRateMask,
                m_data.playBitsMask);
    RefreshSliders();
    RefreshMute();
    return 1;
}

void CPPagePlay::SelectFromFormat() {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr) return;
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    if (FAILED(set->ReadPlaybackFormat(&rate, &bits, &channels, &mask))) return;
    m_data.cachedPlayFormat = {rate, bits};
    LatchFormat(m_skin, kPlayRateButtons, kPlayBitsButtons, rate, bits);
}

void CPPagePlay::ApplyFormat() {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr) return;
    const LatchedFormat f = Latched(m_skin, kPlayRateButtons, kPlayBitsButtons);
    if (SUCCEEDED(set->ApplyPlaybackFormat(f.bits, f.rate))) {
        m_data.cachedPlayFormat = {f.rate, f.bits};
    }
}

void CPPagePlay::ApplyMute() {
    if (AudioEndpointSet* set = m_data.endpoints.get()) {
        set->SetPlaybackMute(m_skin.GetButtonCheck("BTN_P_MUTE") != 0);
    }
}

void CPPagePlay::RefreshMute() {
    AudioEndpointSet* set = m_data.endpoints.get();
    BOOL mute = FALSE;
    if (set != nullptr && SUCCEEDED(set->GetPlaybackMute(&mute))) {
        m_skin.SetButtonCheck("BTN_P_MUTE", mute);
    }
}

void CPPagePlay::RefreshSliders() {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr ||
        FAILED(set->GetPlaybackVolume(&m_left, &m_right, &m_maximum, &m_minimum, &m_step))) {
        return;
    }
    m_skin.SetSliderPos("SLDR_P_VOL_L", SliderValueFromDb(m_maximum, m_minimum, m_left));
    m_skin.SetSliderPos("SLDR_P_VOL_R", SliderValueFromDb(m_maximum, m_minimum, m_right));
}

void CPPagePlay::ApplyVolume(const char* slider, int value) {
    AudioEndpointSet* set = m_data.endpoints.get();
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
    AudioEndpointSet* set = m_data.endpoints.get();
    m_lineIndex = 0;
    m_endpointCount = set != nullptr ? set->CaptureCount() : 0;
    m_data.captureEndpointCount = m_endpointCount;
    for (int k = m_endpointCount - 1; k >= 0; --k) {
        const EndpointRecord* record = set->CaptureRecord(k);
        if (record == nullptr || k >= kMaxConnectors) continue;
        m_connectors[k] = record->connectorSubtype;
        if (m_connectors[k] == kLineConnector) m_lineIndex = k;
    }
    RefreshFrom(0);
    ShowByMasks(m_skin, kRecRateButtons, kRecBitsButtons, m_data.recRateMask, m_data.recBitsMask);
    RefreshSliders();
    BOOL mute = FALSE;
    if (set != nullptr && SUCCEEDED(set->GetRecordMute(m_lineIndex, &mute))) {
        m_skin.SetButtonCheck("BTN_R_MUTE", mute);
    }
    return 1;
}

void CPPageRecord::RefreshFrom(int index) {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr) return;
    uint32_t rate = 0, mask = 0;
    uint16_t bits = 0, channels = 0;
    if (SUCCEEDED(set->ReadRecordFormat(index, &rate, &bits, &channels, &mask))) {
        m_data.cachedRecFormat = {rate, bits};
        LatchFormat(m_skin, kRecRateButtons, kRecBitsButtons, rate, bits);
    }
    // Every record endpoint follows the one that changed.
    ApplyFormat();
}

void CPPageRecord::ApplyFormat() {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr) return;
    const LatchedFormat f = Latched(m_skin, kRecRateButtons, kRecBitsButtons);
    for (int k = 0; k < m_endpointCount; ++k) {
        if (SUCCEEDED(set->ApplyRecordFormat(k, f.bits, f.rate))) {
            m_data.cachedRecFormat = {f.rate, f.bits};
        }
    }
}

void CPPageRecord::ApplyMute() {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set != nullptr && m_lineIndex < set->CaptureCount()) {
        set->SetRecordMute(m_lineIndex, m_skin.GetButtonCheck("BTN_R_MUTE") != 0);
    }
}

void CPPageRecord::RefreshMute() {
    AudioEndpointSet* set = m_data.endpoints.get();
    BOOL mute = FALSE;
    if (set != nullptr && SUCCEEDED(set->GetRecordMute(m_lineIndex, &mute))) {
        m_skin.SetButtonCheck("BTN_R_MUTE", mute);
    }
}

void CPPageRecord::RefreshSliders() {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr || FAILED(set->GetRecordVolume(m_lineIndex, &m_left, &m_right, &m_maximum,
                                                      &m_minimum, &m_step))) {
        return;
    }
    m_skin.SetSliderPos("SLDR_R_VOL_L", SliderValueFromDb(m_maximum, m_minimum, m_left));
    m_skin.SetSliderPos("SLDR_R_VOL_R", SliderValueFromDb(m_maximum, m_minimum, m_right));
}

void CPPageRecord::ApplyVolume(const char* slider, int value) {
    AudioEndpointSet* set = m_data.endpoints.get();
    if (set == nullptr || slider == nullptr) return;
    if (std::strcmp(slider, "SLDR_R_VOL_L") == 0) {
        m_left = DbFromSliderValue(m_maximum, m_minimum, value);
    } else if (std::strcmp(slider, "SLDR_R_VOL_R") == 0) {
        m_right = DbFromSliderValue(m_maximum, m_minimum, value);
    }
    set->SetRecordVolume(m_lineIndex, m_left, m_right);
}

}  // namespace veltrano::cpl
