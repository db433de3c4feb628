#include "endpoint/endpoint_fixture.h"

#include "cpl/common/cpl_messages.h"

namespace veltrano::test {
namespace {
constexpr char kClassName[] = "VeltranoEndpointTestWindow";
}

MessageWindow::MessageWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);  // fails harmlessly when registered already
    m_window = CreateWindowExA(0, kClassName, "endpoint test", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                               nullptr, nullptr, GetModuleHandleA(nullptr), this);
}

MessageWindow::~MessageWindow() {
    if (m_window != nullptr) DestroyWindow(m_window);
}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr && message == cpl::WM_CPL_VOLUME_CHANGED) ++self->m_volume;
    if (self != nullptr && message == cpl::WM_CPL_DEVICE_ACTIVE) ++self->m_active;
    return DefWindowProcA(window, message, wParam, lParam);
}

bool MessageWindow::WaitFor(UINT message, int count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        Drain();
        if (Count(message) >= count) return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
    }
}

void MessageWindow::Drain() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

int MessageWindow::Count(UINT message) const {
    if (message == cpl::WM_CPL_VOLUME_CHANGED) return m_volume;
    if (message == cpl::WM_CPL_DEVICE_ACTIVE) return m_active;
    return 0;
}

void EndpointTest::SetUp() {
    ASSERT_NE(window.get(), nullptr);
    Configure(sim::VirtualAudioConfig{});
}

void EndpointTest::TearDown() {
    sim::DenyPropertyWrites(false);
    sim::WaitForVirtualNotifications();
}

void EndpointTest::Configure(const sim::VirtualAudioConfig& config) {
    sim::WaitForVirtualNotifications();
    sim::ConfigureVirtualAudio(config);
}

std::unique_ptr<cpl::AudioEndpointSet> EndpointTest::MakeSet(int32_t kind) {
    return std::make_unique<cpl::AudioEndpointSet>(window.get(), Kind(kind));
}

HRESULT EndpointTest::ProbeFirst(cpl::AudioEndpointSet& set) {
    const SupportedDevice& device = FirstDevice();
    return set.Probe(device.vendorId, device.productId, device.interfaceNumber, &playback, &record,
                     &asio);
}

}  // namespace veltrano::test
