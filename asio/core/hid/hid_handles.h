#pragma once
// Owners of what a HID command opens: file handles, the device-interface set
// and the preparsed report descriptor. Each releases through the device seam.

#include <utility>

#include "platform/hid.h"
#include "platform/ks_device.h"
#include "platform/ks_setupdi.h"

namespace veltrano::asio::hid {

// Owns one value; Traits::Release is called once unless it is Traits::Invalid().
template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : m_value(Traits::Normalize(value)) {}
    UniqueResource(UniqueResource&& other) noexcept
        : m_value(std::exchange(other.m_value, Traits::Invalid())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            Reset();
            m_value = std::exchange(other.m_value, Traits::Invalid());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const noexcept { return m_value; }
    bool IsValid() const noexcept { return m_value != Traits::Invalid(); }
    // For calls that hand their result back through a pointer.
    Type* Receive() noexcept {
        Reset();
        return &m_value;
    }
    void Reset() noexcept {
        if (IsValid()) Traits::Release(std::exchange(m_value, Traits::Invalid()));
    }

private:
    Type m_value = Traits::Invalid();
};

struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    // CreateFileA fails with INVALID_HANDLE_VALUE; null is never a file either.
    static Type Normalize(Type h) noexcept { return h == nullptr ? Invalid() : h; }
    static void Release(Type h) noexcept { platform::CloseHandle(h); }
};

struct DeviceInfoTraits {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static Type Normalize(Type h) noexcept { return h == nullptr ? Invalid() : h; }
    static void Release(Type h) noexcept { platform::SetupDiDestroyDeviceInfoList(h); }
};

struct PreparsedDataTraits {
    using Type = PHIDP_PREPARSED_DATA;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type p) noexcept { return p; }
    static void Release(Type p) noexcept { platform::HidD_FreePreparsedData(p); }
};

using UniqueFile = UniqueResource<FileTraits>;
using UniqueDeviceInfo = UniqueResource<DeviceInfoTraits>;
using UniquePreparsedData = UniqueResource<PreparsedDataTraits>;

}  // namespace veltrano::asio::hid
