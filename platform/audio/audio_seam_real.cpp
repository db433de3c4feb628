#include "platform/audio/audio_seam.h"

namespace platform {

namespace {
// Spelled out so the library does not depend on which import library
// carries the core-audio identifiers.
constexpr CLSID kMmDeviceEnumerator = {
    0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x69, 0x1e, 0x2e}};
constexpr IID kIMMDeviceEnumerator = {
    0xa95664d2, 0x9614, 0x4f35, {0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36, 0x17, 0xe6}};
}  // namespace

HRESULT CreateDeviceEnumerator(IMMDeviceEnumerator** enumerator) {
    if (enumerator == nullptr) return E_POINTER;
    *enumerator = nullptr;
    return CoCreateInstance(kMmDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                            kIMMDeviceEnumerator, reinterpret_cast<void**>(enumerator));
}

}  // namespace platform
