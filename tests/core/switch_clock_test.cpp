// The published (position, time) pair under a reader on another thread.
#include <windows.h>

#include <atomic>
#include <cstdint>

#include <gtest/gtest.h>

#include "asio/core/switch_clock.h"

namespace veltrano::test {
namespace {

// Every pair the writer publishes has time = position * 3 + 7 and both
// halves of each value change together (the high words move every step), so
// a torn or mismatched read breaks the relation.
constexpr int64_t kStep = (int64_t{1} << 32) + 1;
int64_t TimeOf(int64_t position) { return position * 3 + 7; }

struct Shared {
    asio::SwitchClock clock;
    std::atomic<bool> done{false};
    std::atomic<long> bad{0};
    std::atomic<long> reads{0};
};

DWORD WINAPI Reader(void* argument) {
    auto& shared = *static_cast<Shared*>(argument);
    int64_t last = 0;
    while (!shared.done.load()) {
        const auto pair = shared.clock.Read();
        if (pair.timeNs != TimeOf(pair.position) || pair.position < last ||
            pair.position % kStep != 0) {
            shared.bad.fetch_add(1);
        }
        last = pair.position;
        shared.reads.fetch_add(1);
    }
    return 0;
}

TEST(SwitchClock, AReaderOnAnotherThreadOnlySeesPairsThatWerePublished) {
    Shared shared;
    shared.clock.Publish(0, TimeOf(0));
    HANDLE reader = CreateThread(nullptr, 0, Reader, &shared, 0, nullptr);
    ASSERT_NE(reader, nullptr);
    for (int64_t i = 1; i <= 200000 || shared.reads.load() < 1000; ++i) {
        shared.clock.Publish(i * kStep, TimeOf(i * kStep));
    }
    shared.done.store(true);
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
    EXPECT_EQ(shared.bad.load(), 0);
    EXPECT_GE(shared.reads.load(), 1000);
}

TEST(SwitchClock, ResetPublishesPositionZeroWithTheStartTime) {
    asio::SwitchClock clock;
    clock.Publish(-5, INT64_MAX);
    EXPECT_EQ(clock.Read().position, -5);
    EXPECT_EQ(clock.Read().timeNs, INT64_MAX);
    clock.Reset(42);
    EXPECT_EQ(clock.Read().position, 0);
    EXPECT_EQ(clock.Read().timeNs, 42);
}

}  // namespace
}  // namespace veltrano::test
