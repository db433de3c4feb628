#pragma once
// The control panel's own window messages, command ids and timer id: one
// list, shared by the main window and everything that posts to it (the
// endpoint notifications, the poll tick, the remote-control thread, the
// notification-area icon).

#include <windows.h>

namespace veltrano::cpl {

// Messages, relative to WM_APP (0x8000).
inline constexpr UINT WM_CPL_VOLUME_CHANGED =
    WM_APP + 0x00;  // a registered endpoint's volume or mute changed
inline constexpr UINT WM_CPL_DEVICE_ACTIVE = WM_APP + 0x01;  // an endpoint became active
inline constexpr UINT WM_CPL_PLAY_FORMAT_CHANGED =
    WM_APP + 0x02;  // the playback device format differs from the cache
inline constexpr UINT WM_CPL_REC_FORMAT_CHANGED = WM_APP + 0x03;  // wParam: capture endpoint index
inline constexpr UINT WM_CPL_REMOTE_PACKET =
    WM_APP + 0x10;                                  // a datagram from the remote-control thread
inline constexpr UINT WM_CPL_TRAY = WM_APP + 0x20;  // notification-area icon mouse message

// WM_COMMAND ids (low word of wParam).
inline constexpr UINT ID_TRAY_SHOW = 0x8021;
inline constexpr UINT ID_TRAY_HIDE = 0x8022;
inline constexpr UINT ID_TRAY_EXIT = 0x8023;
inline constexpr UINT ID_CPL_EXIT = 0x8050;
inline constexpr UINT ID_CPL_SHOW_ASIO = 0x8051;
inline constexpr UINT ID_CPL_REFRESH_ASIO = 0x8052;

// The one-second poll timer.
inline constexpr UINT_PTR TIMER_CPL_POLL = 5066;
inline constexpr UINT kPollPeriodMs = 1000;

static_assert(WM_CPL_VOLUME_CHANGED == 0x8000 && WM_CPL_DEVICE_ACTIVE == 0x8001 &&
              WM_CPL_PLAY_FORMAT_CHANGED == 0x8002 && WM_CPL_REC_FORMAT_CHANGED == 0x8003 &&
              WM_CPL_REMOTE_PACKET == 0x8010 && WM_CPL_TRAY == 0x8020);

}  // namespace veltrano::cpl
