// A host that makes and tears down buffer sets for hours: handles, threads
// and heap blocks return to where they were.
// tlhelp32.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include "wasapi_fixture.h"
#include "support/process_counts.h"

namespace veltrano::test {
namespace {

using Soak = WasapiTest;


size_t ThreadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    size_t threads = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        threads += entry.th32OwnerProcessID == GetCurrentProcessId();
    }
    CloseHandle(snapshot);
    return threads;
}

TEST_F(Soak, AThousandBufferSessionsLeaveNothingBehind) {
    HostDriver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    std::vector<ASIOBufferInfo> infos = {
        {ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}, {ASIOTrue, 0, {}}, {ASIOTrue, 1, {}}};
    ASIOCallbacks callbacks = HostCallbacks();
    auto session = [&] {
        const int before = Host().switches;
        ASSERT_EQ(driver->createBuffers(infos.data(), 4, 96, &callbacks), ASE_OK);
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(WaitFor([&] { return Host().switches >= before + 2; }));
        ASSERT_EQ(driver->stop(), ASE_OK);
        ASSERT_EQ(driver->disposeBuffers(), ASE_OK);
    };
    // The first sessions set up what stays: the sizes learnt, and the
    // endpoint's bounded list of recordings filling up.
    for (size_t i = 0; i < sim::kMaxRecordingsKept + 2 && !HasFatalFailure(); ++i) session();
    Sleep(50);
    const size_t handlesBefore = veltrano::test::OpenKernelHandles();
    const size_t threadsBefore = ThreadsOfThisProcess();
    const size_t blocksBefore = BusyHeapBlocks();
    ASSERT_GT(blocksBefore, 0u) << "the heaps could not be walked";
    ASSERT_GT(threadsBefore, 0u);
    for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) session();
    Sleep(50);
    const size_t handlesAfter = veltrano::test::OpenKernelHandles();
    EXPECT_EQ(handlesAfter, handlesBefore);
    EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
    // A few blocks come and go with the runtime's caches; a block left per
    // session would show as a thousand.
    const size_t blocksAfter = BusyHeapBlocks();
    EXPECT_LT(blocksAfter, blocksBefore + 100) << blocksBefore << " -> " << blocksAfter;
    EXPECT_LE(sim::RenderRecordings(0).size(), sim::kMaxRecordingsKept);
}

}  // namespace
}  // namespace veltrano::test
