#pragma once
// CPPagePlay and CPPageRecord: the playback and record sections. They turn
// the rate, bit-depth, mute and volume elements into operations on the
// device's endpoints through the window's AudioEndpointSet, and keep the
// window's cached formats up to date. They reach the window only through its
// skin elements and the data they share with it; they hold no Windows
// objects.

#include <windows.h>

#include <cstdint>

#include "cpl/app/section_host.h"
#include "cpl/skin/skin_surface.h"

namespace veltrano::cpl {

// The latched (rate, bits) of a section's buttons: the first latched rate
// button in the panel's order, else 44100; the first latched bit button,
// else 16.
struct LatchedFormat {
    uint32_t rate;
    uint16_t bits;
};

class CPPagePlay {
public:
    CPPagePlay(skin::SkinSurface& skin, EndpointSectionData& data) : m_skin(skin), m_data(data) {}
    int Init();
    void SelectFromFormat();
    void ApplyFormat();
    void ApplyMute();
    void ApplyVolume(const char* slider, int value);
    void RefreshSliders();
    void RefreshMute();

private:
    skin::SkinSurface& m_skin;
    EndpointSectionData& m_data;
    float m_left = 0, m_right = 0, m_maximum = 0, m_minimum = 0, m_step = 0;
};

class CPPageRecord {
public:
    CPPageRecord(skin::SkinSurface& skin, EndpointSectionData& data) : m_skin(skin), m_data(data) {}
    int Init();
    // The format of record endpoint i becomes the format of all of them.
    void RefreshFrom(int index);
    void ApplyFormat();
    void ApplyMute();
    void ApplyVolume(const char* slider, int value);
    void RefreshSliders();
    void RefreshMute();

    int LineIndex() const { return m_lineIndex; }
    int EndpointCount() const { return m_endpointCount; }

private:
    static constexpr int kMaxConnectors = 8;
    skin::SkinSurface& m_skin;
    EndpointSectionData& m_data;
    int m_endpointCount = 0;
    GUID m_connectors[kMaxConnectors] = {};
    int m_lineIndex = 0;
    float m_left = 0, m_right = 0, m_maximum = 0, m_minimum = 0, m_step = 0;
};

}  // namespace veltrano::cpl
