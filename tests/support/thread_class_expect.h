#pragma once
// What a driver's streaming thread must have done with the multimedia class
// scheduler over one buffer set: join "Pro Audio" at its start and leave it,
// with the handle it got, at its end, both on the thread that made the
// buffer switches; where the system has no class, try once and leave alone.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/os/thread_class_log.h"

namespace veltrano::test {

inline void ExpectJoinedAndLeft(const std::vector<::sim::ThreadClassCall>& calls,
                                DWORD switchThread, bool available) {
    ASSERT_NE(switchThread, 0u) << "no buffer switch was made";
    ASSERT_EQ(calls.size(), available ? 2u : 1u);
    const ::sim::ThreadClassCall& join = calls[0];
    EXPECT_TRUE(join.join);
    EXPECT_EQ(std::wstring(join.task), L"Pro Audio");
    EXPECT_EQ(join.threadId, switchThread);
    EXPECT_EQ(join.succeeded, available);
    if (!available) return;
    const ::sim::ThreadClassCall& leave = calls[1];
    EXPECT_FALSE(leave.join);
    EXPECT_EQ(leave.threadId, switchThread);
    EXPECT_EQ(leave.handle, join.handle);
    EXPECT_TRUE(leave.succeeded);
}

}  // namespace veltrano::test
