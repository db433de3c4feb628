#include "cpl/app/section_plan.h"

#include "cpl/app/panel_tables.h"

namespace veltrano::cpl {
namespace {

class Builder {
public:
    explicit Builder(SectionPlan& plan) : m_plan(plan) {}
    void Create(SectionStep::Kind kind) { m_plan.steps.push_back({kind}); }
    void Button(const char* name, bool visible) { Add(SectionStep::ShowButton, name, visible); }
    void Label(const char* name, bool visible) { Add(SectionStep::ShowLabel, name, visible); }
    void Slider(const char* name, bool visible) { Add(SectionStep::ShowSlider, name, visible); }
    void Text(const char* name, const char* text) {
        m_plan.steps.push_back({SectionStep::SetLabelText, name, false, text});
    }

private:
    void Add(SectionStep::Kind kind, const char* name, bool visible) {
        m_plan.steps.push_back({kind, name, visible, nullptr});
    }
    SectionPlan& m_plan;
};

// Playback or record: the section when its switch and endpoint allow it,
// its rate and bit buttons hidden otherwise, and its mute, gang and volume
// controls hidden in every configuration.
void PlanEndpointSection(Builder& b, bool on, bool& present, SectionStep::Kind create,
                         const char* const* rateButtons, const char* const* bitsButtons,
                         const char* mute, const char* gang, const char* left, const char* right) {
    if (on && present) {
        b.Create(create);
    } else {
        present = false;
    }
    if (!present) {
        for (int i = 0; i < kPanelRateCount; ++i) b.Button(rateButtons[i], false);
        for (int i = 0; i < kPanelBitsCount; ++i) b.Button(bitsButtons[i], false);
    }
    b.Button(mute, false);
    b.Button(gang, false);
    b.Slider(left, false);
    b.Slider(right, false);
}

}  // namespace

SectionPlan PlanSections(const SectionSwitches& switches, const Presence& presence) {
    SectionPlan plan;
    plan.presence = presence;
    Presence& p = plan.presence;
    Builder b(plan);

    PlanEndpointSection(b, switches.playRec != 0, p.playback, SectionStep::CreatePlayback,
                        kPlayRateButtons, kPlayBitsButtons, "BTN_P_MUTE", "BTN_P_VOL_GANG",
                        "SLDR_P_VOL_L", "SLDR_P_VOL_R");
    PlanEndpointSection(b, switches.playRec != 0, p.record, SectionStep::CreateRecord,
                        kRecRateButtons, kRecBitsButtons, "BTN_R_MUTE", "BTN_R_VOL_GANG",
                        "SLDR_R_VOL_L", "SLDR_R_VOL_R");

    if (switches.asioDrv != 0 && p.asio) {
        b.Create(SectionStep::CreateAsio);
    } else {
        p.asio = false;
    }
    if (!p.asio) {
        for (const char* name : {"BTN_ASIO_32B", "BTN_ASIO_24B", "BTN_ASIO_16B"}) {
            b.Button(name, false);
        }
    }
    b.Button("BTN_ASIO_BFSZ_3MS", false);
    for (int i = 1; i < kAsioBufferCount; ++i) b.Button(kAsioBufferButtons[i], p.asio);
    // The layout has no reset button; the step is kept so a skin that adds
    // one shows it with the section.
    b.Button("BTN_ASIO_RESET", p.asio);
    b.Label("TXT_ASIOSTATE", p.asio);
    b.Label("TXT_ASIODEVICE", p.asio);
    b.Label("TXT_ASIOSTATUS", false);

    b.Text("TXT_ASIOPCM", "PCM");
    b.Text("TXT_ASIODSD", "DSD64");
    b.Text("TXT_ASIODSD128", "DSD128");
    b.Text("TXT_ASIODSD256", "DSD256");
    for (const char* name : {"TXT_ASIOPCM", "TXT_ASIODSD", "TXT_ASIODSD128", "TXT_ASIODSD256"}) {
        b.Label(name, false);
    }

    if (switches.rmtCtrl != 0 && (p.playback || p.record || p.asio)) {
        b.Create(SectionStep::CreateRemote);
        b.Button("BTN_RMCT_NETWORK_SET", true);
        b.Button("BTN_RMCT_START_SVR", true);
    } else {
        b.Button("BTN_RMCT_NETWORK_SET", false);
        b.Button("BTN_RMCT_START_SVR", false);
        b.Label("TXT_LOCAL_IP", false);
    }
    b.Label("TXT_REMOTE_IP", false);
    b.Label("TXT_CPL_LOAD", false);

    // The steps above hide the status line and the format indicator that
    // the ASIO section's init may just have shown for a running driver; a
    // driver that keeps running sets no change flag, so without this the
    // window would never show its format.
    if (p.asio) plan.steps.push_back({SectionStep::RefreshAsio});
    return plan;
}

}  // namespace veltrano::cpl
