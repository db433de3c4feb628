#pragma once
// Traits for the common owner (common/unique_resource.h) of Winsock's
// objects: sockets, Winsock events, and one use of Winsock itself.

// Winsock must come before any other Windows header.
// clang-format off
#include <winsock2.h>
// clang-format on

#include "common/unique_resource.h"

namespace veltrano {

// INVALID_SOCKET is all bits set.
using SocketTraits = ReleasedBy<SOCKET, &::closesocket, kAllBitsSet>;
using UniqueSocket = UniqueResource<SocketTraits>;

// WSA_INVALID_EVENT is null.
using WsaEventTraits = ReleasedBy<WSAEVENT, &::WSACloseEvent>;
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
