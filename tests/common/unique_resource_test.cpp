#include "common/unique_resource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

namespace veltrano {
namespace {

// Every release is logged by the raw value's bits. 7, 8 and 9 are owned
// values; zero and all bits set are the two spellings of nothing, of which a
// kind treats one, both or (seen from the other) neither as nothing.
std::vector<std::intptr_t> g_released;

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
    g_released.push_back(v);
    return 1;
}
void LogPointer(void* p) { g_released.push_back(Bits(p)); }
int LogUnsigned(std::uintptr_t v) {
    g_released.push_back(Bits(v));
    return 0;
}

// Written out by hand, as a kind that ReleasedBy cannot express would be.
struct HandWrittenTraits {
    using Type = int;
    static Type Invalid() noexcept { return 0; }
    static Type Normalize(Type v) noexcept { return v == -1 ? 0 : v; }
    static void Release(Type v) noexcept { g_released.push_back(v); }
};

struct OwnerRow {
    std::string name;
    // Runs against the log; returns the bits the owner it kept holds at the end.
    std::function<std::intptr_t()> run;
    std::vector<std::intptr_t> released;
    std::intptr_t heldAtEnd;
};

// The rows for one kind. `empty` is what an owner of nothing holds; `other`
// is the other spelling of nothing, which the kind takes as nothing too when
// `otherIsNothing`, and otherwise owns like any value.
template <typename Traits>
std::vector<OwnerRow> RowsFor(std::intptr_t empty, std::intptr_t other, bool otherIsNothing) {
    using Owner = UniqueResource<Traits>;
    using T = typename Traits::Type;
    const auto v = [](std::intptr_t bits) { return FromBits<T>(bits); };
    const auto held = [](const Owner& o) { return Bits(o.get()); };
    std::vector<OwnerRow> rows = {
        {"an owner of nothing holds the empty value and releases nothing",
         [=] {
             Owner a;
             EXPECT_FALSE(a);
             return held(a);
         },
         {}, empty},
        {"an owner releases its value once when it goes",
         [=] {
             { Owner a(v(7)); }
             return empty;
         },
         {7}, empty},
        {"the empty value is nothing",
         [=] {
             Owner a(v(empty));
             EXPECT_FALSE(a.IsValid());
             return held(a);
         },
         {}, empty},
        {"Reset releases the old value and keeps the new one",
         [=] {
             Owner a(v(7));
             a.Reset(v(8));
             EXPECT_TRUE(a);
             return held(a);
         },
         {7}, 8},
        {"Reset with nothing only releases",
         [=] {
             Owner a(v(7));
             a.Reset();
             return held(a);
         },
         {7}, empty},
        {"release gives the value up unreleased",
         [=] {
             Owner a(v(7));
             EXPECT_EQ(Bits(a.release()), 7);
             return held(a);
         },
         {}, empty},
        {"a move leaves the source owning nothing",
         [=] {
             Owner a(v(7));
             Owner b(std::move(a));
             EXPECT_FALSE(a);
             EXPECT_EQ(held(a), empty);
             return held(b);
         },
         {}, 7},
        {"move assignment releases what the target held",
         [=] {
             Owner a(v(7));
             Owner b(v(8));
             b = std::move(a);
             return held(b);
         },
         {8}, 7},
        {"moving an owner onto itself keeps the value",
         [=] {
             Owner a(v(7));
             Owner& alias = a;
             a = std::move(alias);
             return held(a);
         },
         {}, 7},
        {"Receive releases first, then takes what the call writes",
         [=] {
             Owner a(v(7));
             *a.Receive() = v(9);
             return held(a);
         },
         {7}, 9},
    };
    if (otherIsNothing) {
        rows.push_back({"the other spelling of nothing is nothing and is held as the empty value",
                        [=] {
                            Owner a(v(other));
                            EXPECT_FALSE(a);
                            return held(a);
                        },
                        {}, empty});
        rows.push_back({"Reset to the other spelling of nothing only releases",
                        [=] {
                            Owner a(v(7));
                            a.Reset(v(other));
                            EXPECT_FALSE(a);
                            return held(a);
                        },
                        {7}, empty});
    } else {
        rows.push_back({"the other spelling is a value like any other and is released once",
                        [=] {
                            Owner a(v(other));
                            EXPECT_TRUE(a);
                            return held(a);
                        },
                        {}, other});
    }
    return rows;
}

struct KindRow {
    const char* name;
    std::vector<OwnerRow> rows;
    std::intptr_t empty;
};

TEST(UniqueResourceTest, OwnsExactlyOnce) {
    const KindRow kinds[] = {
        {"hand-written traits, zero or all bits set", RowsFor<HandWrittenTraits>(0, -1, true), 0},
        {"null, and all bits set also nothing (a kernel handle)",
         RowsFor<ReleasedBy<void*, &LogPointer, 0, kAllBitsSet>>(0, -1, true), 0},
        {"all bits set, and null also nothing (a file from the device seam)",
         RowsFor<ReleasedBy<void*, &LogPointer, kAllBitsSet, 0>>(-1, 0, true), -1},
        {"all bits set only, zero is a value (a socket)",
         RowsFor<ReleasedBy<std::uintptr_t, &LogUnsigned, kAllBitsSet>>(-1, 0, false), -1},
        {"zero only, all bits set is a value (a registry key)",
         RowsFor<ReleasedBy<int, &LogInt>>(0, -1, false), 0},
    };
    for (const KindRow& kind : kinds) {
        SCOPED_TRACE(kind.name);
        for (const OwnerRow& row : kind.rows) {
            SCOPED_TRACE(row.name);
            g_released.clear();
            const std::intptr_t held = row.run();
            // The owner kept is gone by now, so what it held is released last.
            EXPECT_EQ(held, row.heldAtEnd);
            std::vector<std::intptr_t> expected = row.released;
            if (row.heldAtEnd != kind.empty) expected.push_back(row.heldAtEnd);
            EXPECT_EQ(g_released, expected);
        }
    }
}

}  // namespace
}  // namespace veltrano
