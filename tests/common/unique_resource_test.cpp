#include "common/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <type_traits>
#include <vector>

namespace veltrano {
namespace {

// Values are ints: 0 owns nothing, -1 is a second spelling of nothing (as
// INVALID_HANDLE_VALUE is for handles), anything else is owned. Every
// release is logged.
std::vector<int> g_released;

struct CountingTraits {
    using Type = int;
    static Type Invalid() noexcept { return 0; }
    static Type Normalize(Type v) noexcept { return v == -1 ? 0 : v; }
    static void Release(Type v) noexcept { g_released.push_back(v); }
};

using Owner = UniqueResource<CountingTraits>;

struct OwnerRow {
    const char* name;
    // Runs against the log; returns what the owner it kept holds at the end.
    std::function<int()> run;
    std::vector<int> released;
    int heldAtEnd;
};

const OwnerRow kOwnerRows[] = {
    {"an owner releases its value once when it goes",
     [] {
         { Owner a(7); }
         return 0;
     },
     {7}, 0},
    {"the second spelling of nothing is nothing",
     [] {
         Owner a(-1);
         EXPECT_FALSE(a);
         EXPECT_FALSE(a.IsValid());
         return a.get();
     },
     {}, 0},
    {"Reset releases the old value and keeps the new one",
     [] {
         Owner a(7);
         a.Reset(8);
         EXPECT_TRUE(a);
         return a.get();
     },
     {7}, 8},
    {"Reset with nothing only releases",
     [] {
         Owner a(7);
         a.Reset();
         return a.get();
     },
     {7}, 0},
    {"release gives the value up unreleased",
     [] {
         Owner a(7);
         EXPECT_EQ(a.release(), 7);
         return a.get();
     },
     {}, 0},
    {"a move leaves the source owning nothing",
     [] {
         Owner a(7);
         Owner b(std::move(a));
         EXPECT_FALSE(a);
         return b.get();
     },
     {}, 7},
    {"move assignment releases what the target held",
     [] {
         Owner a(7);
         Owner b(8);
         b = std::move(a);
         return b.get();
     },
     {8}, 7},
    {"moving an owner onto itself keeps the value",
     [] {
         Owner a(7);
         Owner& alias = a;
         a = std::move(alias);
         return a.get();
     },
     {}, 7},
    {"Receive releases first, then takes what the call writes",
     [] {
         Owner a(7);
         *a.Receive() = 9;
         return a.get();
     },
     {7}, 9},
};

TEST(UniqueResourceTest, OwnsExactlyOnce) {
    for (const OwnerRow& row : kOwnerRows) {
        SCOPED_TRACE(row.name);
        g_released.clear();
        const int held = row.run();
        // The owner kept is gone by now, so what it held is released last.
        EXPECT_EQ(held, row.heldAtEnd);
        std::vector<int> expected = row.released;
        if (row.heldAtEnd != 0) expected.push_back(row.heldAtEnd);
        EXPECT_EQ(g_released, expected);
    }
}

// Kinds made by ReleasedBy differ only in which raw values are nothing and in
// the call that releases the rest; the owner's own behaviour is the table
// above. Releases are logged by the raw value's bits.
std::vector<std::intptr_t> g_kindReleased;

template <typename T>
std::intptr_t Bits(T v) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<std::intptr_t>(v);
    } else {
        return static_cast<std::intptr_t>(v);
    }
}

template <typename T>
T FromBits(std::intptr_t bits) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(bits);
    } else {
        return static_cast<T>(bits);
    }
}

// Release calls shaped as the system's: some return a result nobody reads.
int LogInt(int v) {
    g_kindReleased.push_back(v);
    return 1;
}
void LogPointer(void* p) { g_kindReleased.push_back(Bits(p)); }
int LogUnsigned(std::uintptr_t v) {
    g_kindReleased.push_back(Bits(v));
    return 0;
}

// `empty` is what an owner of nothing holds; `other` is the other spelling
// of nothing (zero or all bits set), which the kind takes as nothing too when
// `otherIsNothing` and otherwise owns like any value.
template <typename Traits>
void ExpectKind(std::intptr_t empty, std::intptr_t other, bool otherIsNothing) {
    using KindOwner = UniqueResource<Traits>;
    using T = typename Traits::Type;
    g_kindReleased.clear();
    {
        KindOwner none;
        EXPECT_FALSE(none);
        EXPECT_EQ(Bits(none.get()), empty);
        KindOwner spelled(FromBits<T>(empty));
        EXPECT_FALSE(spelled);
    }
    {
        KindOwner a(FromBits<T>(other));
        EXPECT_EQ(static_cast<bool>(a), !otherIsNothing);
        EXPECT_EQ(Bits(a.get()), otherIsNothing ? empty : other);
    }
    {
        KindOwner a(FromBits<T>(7));
        a.Reset(FromBits<T>(other));
        EXPECT_EQ(static_cast<bool>(a), !otherIsNothing);
    }
    const std::vector<std::intptr_t> expected =
        otherIsNothing ? std::vector<std::intptr_t>{7} : std::vector<std::intptr_t>{other, 7, other};
    EXPECT_EQ(g_kindReleased, expected);
}

TEST(UniqueResourceTest, KindsMadeByReleasedByTellNothingFromAValue) {
    const struct {
        const char* name;
        void (*check)();
    } kinds[] = {
        {"null, and all bits set also nothing (a kernel handle)",
         [] { ExpectKind<ReleasedBy<void*, &LogPointer, 0, kAllBitsSet>>(0, -1, true); }},
        {"all bits set, and null also nothing (a file from the device seam)",
         [] { ExpectKind<ReleasedBy<void*, &LogPointer, kAllBitsSet, 0>>(-1, 0, true); }},
        {"all bits set only, zero is a value (a socket)",
         [] { ExpectKind<ReleasedBy<std::uintptr_t, &LogUnsigned, kAllBitsSet>>(-1, 0, false); }},
        {"zero only, all bits set is a value (a registry key)",
         [] { ExpectKind<ReleasedBy<int, &LogInt>>(0, -1, false); }},
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        kind.check();
    }
}

}  // namespace
}  // namespace veltrano
