// Shows the skin dialog in a named state so a person (or scripts/skin-shots)
// can look at it:  skin_preview.exe STATE [SECONDS]
//   start    every button and label as ResetVisibility leaves them
//   running  a device playing: formats latched, texts set, unused controls hidden
//   sliders  the volume sliders, mute and gang shown, one thumb moved
//   disabled every ASIO button disabled

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "cpl/skin/skin_dialog.h"

namespace {

class PreviewDialog : public skin::CSkinDialog {
public:
    explicit PreviewDialog(const char* state) : m_state(state) {}
    BOOL OnInitDialog() override {
        CSkinDialog::OnInitDialog();
        ResetVisibility();
        ::SetWindowTextA(m_hWnd, "Veltrano-HD Skin Preview");
        Apply();
        return TRUE;
    }
    void OnSkinButtonClicked(const char* name) override {
        // Latching buttons toggle, so clicks show their look.
        if (std::strcmp(name, "BTN_HIDE") != 0) SetButtonCheck(name, !GetButtonCheck(name));
    }

private:
    void Apply() {
        if (!std::strcmp(m_state, "running") || !std::strcmp(m_state, "sliders")) {
            for (const char* n : {"BTN_P_96K", "BTN_P_24B", "BTN_R_48K", "BTN_R_16B", "BTN_ASIO_24B",
                                  "BTN_ASIO_BFSZ_10MS"})
                SetButtonCheck(n, TRUE);
            ShowButton("BTN_ASIO_BFSZ_3MS", FALSE);
            SetLabelText("TXT_ASIOSTATE", "RUNNING");
            SetLabelText("TXT_ASIODEVICE", "Veltrano-HD");
            SetLabelText("TXT_ASIOSTATUS", "2 Channel, 24 bits, 96000 Hz, Buffer 10.0 ms");
            for (const char* n : {"TXT_ASIODSD", "TXT_ASIODSD128", "TXT_ASIODSD256", "TXT_CPL_LOAD"}) ShowLabel(n, FALSE);
            SetLabelText("TXT_LOCAL_IP", "127.0.0.1");
            ShowLabel("TXT_REMOTE_IP", FALSE);
        }
        if (!std::strcmp(m_state, "running")) {
            for (const char* n : {"BTN_P_MUTE", "BTN_P_VOL_GANG", "BTN_R_MUTE", "BTN_R_VOL_GANG"}) ShowButton(n, FALSE);
        }
        if (!std::strcmp(m_state, "sliders")) {
            for (const char* n : {"SLDR_P_VOL_L", "SLDR_P_VOL_R", "SLDR_R_VOL_L", "SLDR_R_VOL_R"}) ShowSlider(n, TRUE);
            SetSliderPos("SLDR_P_VOL_L", 80);
            SetSliderPos("SLDR_P_VOL_R", 80);
            SetSliderPos("SLDR_R_VOL_L", 25);
            SetButtonCheck("BTN_P_VOL_GANG", TRUE);
            SetButtonCheck("BTN_R_MUTE", TRUE);
        }
        if (!std::strcmp(m_state, "disabled")) {
            for (int i = 29; i < 41; ++i) EnableButton(Buttons()[i]->m_name.c_str(), FALSE);
        }
    }
    const char* m_state;
};

}  // namespace

int main(int argc, char** argv) {
    const char* state = argc > 1 ? argv[1] : "start";
    int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    PreviewDialog dialog(state);
    if (!dialog.Create()) return 1;
    ::SetWindowPos(dialog.m_hWnd, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    ::SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG msg;
    while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
        if (!::IsWindow(dialog.m_hWnd)) break;
    }
    return 0;
}
