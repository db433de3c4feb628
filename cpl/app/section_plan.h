#pragma once
// Which sections the main window builds and which skin elements it shows
// or hides, from the section switches and what the device offers. Pure: the
// main dialog runs the steps in order, creating a section object (and
// running its init, which may show elements of its own) where a Create step
// stands, so the later steps override what an init showed.

#include <cstdint>
#include <vector>

namespace veltrano::cpl {

struct SectionSwitches {
    uint32_t playRec = 0;  // "PlayRecPP"
    uint32_t asioDrv = 1;  // "AsioDrvPP"
    uint32_t rmtCtrl = 0;  // "RmtCtrlPP"
};

struct Presence {
    bool playback = false;
    bool record = false;
    bool asio = false;
};

struct SectionStep {
    enum Kind {
        CreatePlayback,
        CreateRecord,
        CreateAsio,
        CreateRemote,
        ShowButton,
        ShowLabel,
        ShowSlider,
        SetLabelText,
        RefreshAsio,  // the ASIO section (if created) shows the block as it is now
    };
    Kind kind;
    const char* name = nullptr;  // element name
    bool visible = false;        // Show* steps
    const char* text = nullptr;  // SetLabelText
};

struct SectionPlan {
    Presence presence;  // after the build: a switched-off section is absent
    std::vector<SectionStep> steps;
};

SectionPlan PlanSections(const SectionSwitches& switches, const Presence& presence);

}  // namespace veltrano::cpl
