#pragma once
// Traits for the common owner (common/unique_resource.h) of Winsock's
// objects: sockets, Winsock events, and one use of Winsock itself.

// Winsock must come before any other Windows header.
// clang-format off
#include <winsock2.h>
// clang-format on

#include "common/unique_resource.h"

namespace veltrano {

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() noexcept { return INVALID_SOCKET; }
    static Type Normalize(Type s) noexcept { return s; }
    static void Release(Type s) noexcept { ::closesocket(s); }
};
using UniqueSocket = UniqueResource<SocketTraits>;

struct WsaEventTraits {
    using Type = WSAEVENT;
    static Type Invalid() noexcept { return WSA_INVALID_EVENT; }
    static Type Normalize(Type e) noexcept { return e; }
    static void Release(Type e) noexcept { ::WSACloseEvent(e); }
};
using UniqueWsaEvent = UniqueResource<WsaEventTraits>;

// A successful WSAStartup, ended by one WSACleanup: true while held.
struct WinsockUseTraits {
    using Type = bool;
    static Type Invalid() noexcept { return false; }
    static Type Normalize(Type started) noexcept { return started; }
    static void Release(Type) noexcept { ::WSACleanup(); }
};
using UniqueWinsockUse = UniqueResource<WinsockUseTraits>;

}  // namespace veltrano
