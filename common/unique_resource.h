#pragma once
// The one owner of anything that must be given back exactly once: kernel
// handles, device-interface sets, preparsed HID data, sockets, mappings.
// What differs between them lives in a traits type:
//
//   struct Traits {
//       using Type = ...;                 // the raw value
//       static Type Invalid() noexcept;   // the value that owns nothing
//       static Type Normalize(Type v) noexcept;  // other "nothing" values to Invalid()
//       static void Release(Type v) noexcept;    // called once per owned value
//   };
//
// get and release are named as std::unique_ptr names them. Most traits are
// ReleasedBy<...> below; write a struct only for kinds it cannot express.

#include <cstdint>
#include <type_traits>
#include <utility>

namespace veltrano {

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : m_value(Traits::Normalize(value)) {}
    UniqueResource(UniqueResource&& other) noexcept
        : m_value(std::exchange(other.m_value, Traits::Invalid())) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_value, Traits::Invalid()));
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type get() const noexcept { return m_value; }
    bool IsValid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return IsValid(); }

    // Gives the value up without releasing it.
    Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }
    // Releases what is owned and takes `value` (nothing by default).
    void Reset(Type value = Traits::Invalid()) noexcept {
        const Type old = std::exchange(m_value, Traits::Normalize(value));
        if (old != Traits::Invalid()) Traits::Release(old);
    }
    // For calls that hand their result back through a pointer.
    Type* Receive() noexcept {
        Reset();
        return &m_value;
    }

private:
    Type m_value = Traits::Invalid();
};

// "Nothing" as raw bits: zero is null; all bits set is how Windows spells a
// failed handle or socket (INVALID_HANDLE_VALUE, INVALID_SOCKET).
inline constexpr std::intptr_t kAllBitsSet = -1;

// Traits of a `T` given back by one call `ReleaseFn(value)` (its result is not
// looked at), owning nothing when its bits are `Empty`. `AlsoEmpty` is a
// second spelling of nothing, stored as `Empty`: kernel calls report failure
// as null or as all bits set, depending on the call.
template <typename T, auto ReleaseFn, std::intptr_t Empty = 0, std::intptr_t AlsoEmpty = Empty>
struct ReleasedBy {
    static_assert(std::is_pointer_v<T> || std::is_integral_v<T>,
                  "a raw value is a pointer, a handle or an integer");
    using Type = T;
    static Type Invalid() noexcept { return FromBits(Empty); }
    static Type Normalize(Type v) noexcept { return v == FromBits(AlsoEmpty) ? Invalid() : v; }
    static void Release(Type v) noexcept { static_cast<void>(ReleaseFn(v)); }

private:
    static Type FromBits(std::intptr_t bits) noexcept {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<Type>(bits);
        } else {
            return static_cast<Type>(bits);
        }
    }
};

}  // namespace veltrano
