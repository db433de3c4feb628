#include "common/unique_resource.h"

#include <gtest/gtest.h>

#include <functional>
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

}  // namespace
}  // namespace veltrano
