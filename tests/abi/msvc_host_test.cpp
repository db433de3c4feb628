// Both `_sim` drivers as a 32-bit host built with the platform's own
// compiler meets them: registered with regsvr32, found under HKLM and created
// through COM, then every vtable slot called with that compiler's
// conventions (thiscall for the ASIO methods, stdcall for IUnknown's) and the
// stack checked after each call, at each of the four stack alignments such a
// host may call with. A whole session runs this way, streaming, with the
// host calling outputReady from inside its cdecl bufferSwitch.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <bitset>
#include <string>

#include "abi/x86_call.h"
#include "asio/core/asio_interface.h"
#include "com/com_test_support.h"
#include "support/peer_process.h"

namespace veltrano::test {
namespace {

// The slots as a host declares them, independently of our own header.
enum Slot : int {
    kQueryInterface,
    kAddRef,
    kRelease,
    kInit,
    kGetDriverName,
    kGetDriverVersion,
    kGetErrorMessage,
    kStart,
    kStop,
    kGetChannels,
    kGetLatencies,
    kGetBufferSize,
    kCanSampleRate,
    kGetSampleRate,
    kSetSampleRate,
    kGetClockSources,
    kSetClockSource,
    kGetSamplePosition,
    kGetChannelInfo,
    kCreateBuffers,
    kDisposeBuffers,
    kControlPanel,
    kFuture,
    kOutputReady,
    kSlotCount
};

constexpr char kDriverKey[] = "Software\\ASIO\\Veltrano-HD";

// What the host's callbacks see; they run on the driver's streaming thread.
struct CallbackLog {
    const void* driver = nullptr;
    uint32_t pad = 0;
    bool timeInfo = false;
    std::atomic<long> switches{0};
    std::atomic<long> outputReadyFaults{0};
    std::atomic<long> outputReadyErrors{0};
    HANDLE enough = nullptr;  // set at the eighth switch
};
CallbackLog* g_log = nullptr;

void HostSwitch(long half) {
    CallbackLog& log = *g_log;
    (void)half;
    // Hosts that fill their buffers in the callback call outputReady there.
    const X86Result ready = CallThis(VtableSlot(log.driver, kOutputReady), log.driver, {}, log.pad);
    if (!ready.fault.empty()) ++log.outputReadyFaults;
    if (static_cast<long>(ready.eax) != ASE_OK) ++log.outputReadyErrors;
    if (++log.switches == 8) SetEvent(log.enough);
}

void __cdecl OnBufferSwitch(long half, ASIOBool) { HostSwitch(half); }
void __cdecl OnRateChange(ASIOSampleRate) {}
long __cdecl OnMessage(long selector, long value, void*, double*) {
    switch (selector) {
        case kAsioSelectorSupported:
            return value == kAsioEngineVersion || value == kAsioSupportsTimeInfo ||
                           value == kAsioResetRequest
                       ? 1
                       : 0;
        case kAsioEngineVersion:
            return 2;
        case kAsioSupportsTimeInfo:
            return g_log->timeInfo ? 1 : 0;
        default:
            return 0;
    }
}
ASIOTime* __cdecl OnSwitchTimeInfo(ASIOTime* params, long half, ASIOBool) {
    HostSwitch(half);
    return params;
}

// One driver object seen through the thunk.
class Host {
public:
    Host(const void* driver, uint32_t pad) : m_driver(driver), m_pad(pad) {}

    uint32_t Asio(Slot slot, const X86Args& args = {}) {
        m_called.set(slot);
        const X86Result r = CallThis(VtableSlot(m_driver, slot), m_driver, args, m_pad);
        EXPECT_EQ(r.fault, "") << "IASIO slot " << slot;
        return r.eax;
    }
    uint32_t Unknown(Slot slot, X86Args args) {
        m_called.set(slot);
        X86Args withThis;
        withThis.Ptr(m_driver);
        for (uint32_t w : args.Words()) withThis.Word(w);
        const X86Result r = CallStd(VtableSlot(m_driver, slot), withThis, m_pad);
        EXPECT_EQ(r.fault, "") << "IUnknown slot " << slot;
        return r.eax;
    }
    bool CalledEverySlot() const { return m_called.all(); }

private:
    const void* m_driver;
    uint32_t m_pad;
    std::bitset<kSlotCount> m_called;
};

long Signed(uint32_t v) { return static_cast<long>(static_cast<int32_t>(v)); }

// One host session over a freshly created driver object.
void RunSession(const CLSID& clsid, uint32_t pad) {
    SCOPED_TRACE("stack pushed by " + std::to_string(pad) + " extra words");
    IUnknown* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, clsid,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_NE(object, nullptr);
    Host host(object, pad);

    // IUnknown, stdcall.
    void* other = nullptr;
    EXPECT_EQ(host.Unknown(kQueryInterface, X86Args().Ptr(&IID_IUnknown).Ptr(&other)),
              static_cast<uint32_t>(S_OK));
    ASSERT_NE(other, nullptr);
    static_cast<IUnknown*>(other)->Release();
    other = &other;
    const IID unknownIid = {0x0badf00d, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(host.Unknown(kQueryInterface, X86Args().Ptr(&unknownIid).Ptr(&other)),
              static_cast<uint32_t>(E_NOINTERFACE));
    EXPECT_EQ(other, nullptr);
    const uint32_t count = host.Unknown(kAddRef, {});
    EXPECT_GE(count, 2u);
    EXPECT_EQ(host.Unknown(kRelease, {}), count - 1);

    // Queries, thiscall.
    ASSERT_EQ(host.Asio(kInit, X86Args().Ptr(nullptr)), static_cast<uint32_t>(ASIOTrue));
    char name[32] = {};
    host.Asio(kGetDriverName, X86Args().Ptr(name));
    EXPECT_NE(name[0], '\0');
    EXPECT_EQ(host.Asio(kGetDriverVersion), 2u);
    char message[128] = {};
    host.Asio(kGetErrorMessage, X86Args().Ptr(message));
    long inputs = -1;
    long outputs = -1;
    ASSERT_EQ(Signed(host.Asio(kGetChannels, X86Args().Ptr(&inputs).Ptr(&outputs))), ASE_OK);
    ASSERT_GE(outputs, 1);
    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(
        Signed(host.Asio(kGetBufferSize,
                         X86Args().Ptr(&minSize).Ptr(&maxSize).Ptr(&preferred).Ptr(&granularity))),
        ASE_OK);
    EXPECT_LE(minSize, preferred);
    EXPECT_LE(preferred, maxSize);
    // Doubles take two stack words: a callee popping one would show here.
    EXPECT_EQ(Signed(host.Asio(kCanSampleRate, X86Args().Double(48000.0))), ASE_OK);
    // A rate the device has no entry for is not present; ASE_NoClock is for
    // a clock the device has but cannot give now.
    EXPECT_EQ(Signed(host.Asio(kCanSampleRate, X86Args().Double(12345.0))), ASE_NotPresent);
    ASSERT_EQ(Signed(host.Asio(kSetSampleRate, X86Args().Double(48000.0))), ASE_OK);
    double rate = 0;
    EXPECT_EQ(Signed(host.Asio(kGetSampleRate, X86Args().Ptr(&rate))), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    ASIOClockSource clocks[4] = {};
    long clockCount = 4;
    EXPECT_EQ(Signed(host.Asio(kGetClockSources, X86Args().Ptr(clocks).Ptr(&clockCount))), ASE_OK);
    EXPECT_GE(clockCount, 1);
    EXPECT_EQ(Signed(host.Asio(kSetClockSource, X86Args().Word(0))), ASE_OK);
    ASIOChannelInfo info{};
    info.channel = 0;
    info.isInput = ASIOFalse;
    EXPECT_EQ(Signed(host.Asio(kGetChannelInfo, X86Args().Ptr(&info))), ASE_OK);
    EXPECT_NE(info.name[0], '\0');
    EXPECT_EQ(Signed(host.Asio(kFuture, X86Args().Word(kAsioCanTimeInfo).Ptr(nullptr))),
              ASE_SUCCESS);
    ASIOIoFormat format{};
    format.FormatType = kASIOFormatInvalid;
    EXPECT_EQ(Signed(host.Asio(
                  kFuture, X86Args().Word(static_cast<uint32_t>(kAsioGetIoFormat)).Ptr(&format))),
              ASE_SUCCESS);
    EXPECT_EQ(format.FormatType, kASIOPCMFormat);

    // Buffers and streaming; the callbacks are cdecl functions of the host.
    CallbackLog log;
    log.driver = object;
    log.pad = pad;
    log.timeInfo = pad % 2 == 0;  // both callback paths
    log.enough = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_log = &log;
    ASIOCallbacks callbacks{OnBufferSwitch, OnRateChange, OnMessage, OnSwitchTimeInfo};
    ASIOBufferInfo buffers[4] = {};
    long used = 0;
    for (long c = 0; c < outputs && c < 2; ++c)
        buffers[used++] = {ASIOFalse, c, {nullptr, nullptr}};
    for (long c = 0; c < inputs && c < 2; ++c) buffers[used++] = {ASIOTrue, c, {nullptr, nullptr}};
    ASSERT_EQ(Signed(host.Asio(kCreateBuffers, X86Args()
                                                   .Ptr(buffers)
                                                   .Word(static_cast<uint32_t>(used))
                                                   .Word(static_cast<uint32_t>(preferred))
                                                   .Ptr(&callbacks))),
              ASE_OK);
    EXPECT_NE(buffers[0].buffers[0], nullptr);
    long inLatency = 0, outLatency = 0;
    EXPECT_EQ(Signed(host.Asio(kGetLatencies, X86Args().Ptr(&inLatency).Ptr(&outLatency))), ASE_OK);
    EXPECT_GT(outLatency, 0);
    ASSERT_EQ(Signed(host.Asio(kStart)), ASE_OK);
    // Generous: only the order of events matters, never their speed.
    EXPECT_EQ(WaitForSingleObject(log.enough, 20000), WAIT_OBJECT_0) << "no buffer switches";
    ASIOSamples position{};
    ASIOTimeStamp stamp{};
    EXPECT_EQ(Signed(host.Asio(kGetSamplePosition, X86Args().Ptr(&position).Ptr(&stamp))), ASE_OK);
    EXPECT_TRUE(position.lo != 0 || position.hi != 0);
    host.Asio(kOutputReady);  // from the host's own thread, too
    EXPECT_EQ(Signed(host.Asio(kStop)), ASE_OK);
    EXPECT_EQ(log.outputReadyFaults.load(), 0) << "outputReady from the callback";
    EXPECT_EQ(log.outputReadyErrors.load(), 0) << "outputReady from the callback";
    EXPECT_EQ(Signed(host.Asio(kDisposeBuffers)), ASE_OK);
    g_log = nullptr;
    CloseHandle(log.enough);

    // No ASIOCPL value: the panel launch ends quietly.
    EXPECT_EQ(Signed(host.Asio(kControlPanel)), ASE_OK);
    EXPECT_TRUE(host.CalledEverySlot());
    EXPECT_EQ(host.Unknown(kRelease, {}), 0u);
}

// The thunk itself: it must see a callee that pops the wrong amount or
// loses a register, or the driver checks below prove nothing.
__attribute__((thiscall)) long ThisCallee(void* self, long a, long b) {
    return static_cast<long>(reinterpret_cast<uintptr_t>(self)) + a * 10 + b;
}
long __cdecl CdeclCallee(void*, long a, long b) { return a + b; }
__attribute__((stdcall)) long StdCallee(void* self, long a) {
    return static_cast<long>(reinterpret_cast<uintptr_t>(self)) + a;
}
__attribute__((thiscall)) long DoubleCallee(void*, double d) { return static_cast<long>(d * 2); }

TEST(X86CallThunk, PassesArgumentsAsThePlatformCompilerDoes) {
    for (uint32_t pad = 0; pad < 4; ++pad) {
        const X86Result viaThis = CallThis(reinterpret_cast<const void*>(&ThisCallee),
                                           reinterpret_cast<void*>(1000), X86Args{3, 4}, pad);
        EXPECT_EQ(viaThis.fault, "");
        EXPECT_EQ(viaThis.eax, 1034u);
        const X86Result viaStd =
            CallStd(reinterpret_cast<const void*>(&StdCallee), X86Args{500, 6}, pad);
        EXPECT_EQ(viaStd.fault, "");
        EXPECT_EQ(viaStd.eax, 506u);
        const X86Result viaDouble = CallThis(reinterpret_cast<const void*>(&DoubleCallee), nullptr,
                                             X86Args().Double(21.5), pad);
        EXPECT_EQ(viaDouble.fault, "");
        EXPECT_EQ(viaDouble.eax, 43u);
    }
}

TEST(X86CallThunk, SeesACalleeThatLeavesTheStackWrong) {
    // A cdecl function called as thiscall leaves its two arguments behind.
    const X86Result leftBehind =
        CallThis(reinterpret_cast<const void*>(&CdeclCallee), nullptr, X86Args{3, 4}, 1);
    EXPECT_NE(leftBehind.fault.find("ESP moved by -8 bytes"), std::string::npos)
        << leftBehind.fault;
    // A stdcall function given one word fewer than it takes pops too much.
    const X86Result tooMuch = CallStd(reinterpret_cast<const void*>(&StdCallee), X86Args{500}, 2);
    EXPECT_NE(tooMuch.fault.find("ESP moved by 4 bytes"), std::string::npos) << tooMuch.fault;
}

struct Driver {
    const char* name;
    const char* dll;
};

class MsvcHost : public ::testing::TestWithParam<Driver> {
protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES();
        const std::string dll = WinePath(GetParam().dll);
        const auto registered = RunProcess("regsvr32 /s \"" + dll + "\"", true, 60000);
        ASSERT_EQ(registered.exitCode, 0u) << dll << "\n" << registered.output;
        m_registered = true;
        const auto clsid = ReadString(HKEY_LOCAL_MACHINE, kDriverKey, "CLSID", true);
        ASSERT_TRUE(clsid.has_value());
        const std::wstring wide(clsid->begin(), clsid->end());
        ASSERT_EQ(CLSIDFromString(wide.c_str(), &m_clsid), S_OK);
        RegDeleteKeyValueA(HKEY_CURRENT_USER, kDriverKey, "ASIOCPL");
    }
    void TearDown() override {
        if (m_registered) {
            RunProcess("regsvr32 /u /s \"" + WinePath(GetParam().dll) + "\"", true, 60000);
        }
        CoUninitialize();
    }
    CLSID m_clsid{};
    bool m_registered = false;
};

TEST_P(MsvcHost, EverySlotKeepsTheStackAtEveryAlignment) {
    for (uint32_t pad = 0; pad < 4; ++pad) {
        RunSession(m_clsid, pad);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(SimDrivers, MsvcHost,
                         ::testing::Values(Driver{"ks", KS_SIM_DLL},
                                           Driver{"wasapi", WASAPI_SIM_DLL}),
                         [](const ::testing::TestParamInfo<Driver>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace veltrano::test
