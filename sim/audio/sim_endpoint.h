#pragma once
// The virtual IMMDevice (one per endpoint reference handed out) and its
// read-only IPropertyStore.

#include <mmdeviceapi.h>

#include <memory>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

// Property keys the store answers; spelled out so nothing depends on which
// import library defines them.
inline constexpr PROPERTYKEY kDevicePathKey = {
    {0xb3f8fa53, 0x0004, 0x438e, {0x90, 0x03, 0x51, 0xa4, 0x6e, 0x13, 0x9b, 0xfc}}, 2};
inline constexpr PROPERTYKEY kFriendlyNameKey = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
inline constexpr PROPERTYKEY kDeviceFormatKey = {
    {0xf19f064d, 0x082c, 0x4e27, {0xbc, 0x73, 0x68, 0x82, 0xa1, 0xbb, 0x8e, 0x4c}}, 0};

inline bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
}

HRESULT NewVirtualEndpoint(std::shared_ptr<EndpointState> state, IMMDevice** device);

}  // namespace veltrano::sim
