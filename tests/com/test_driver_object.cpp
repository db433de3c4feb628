#include "test_driver_object.h"

#include <cstdlib>
#include <cstring>

#include "asio/core/driver_instance.h"
#include "common/rate_table.h"

namespace veltrano::test {
namespace {

bool EnvIs(const char* name, const char* value) {
    char text[32] = {};
    const DWORD n = GetEnvironmentVariableA(name, text, sizeof(text));
    return n > 0 && n < sizeof(text) && std::strcmp(text, value) == 0;
}

int EnvBits() {
    if (EnvIs("VELTRANO_TEST_BITS", "16")) return 16;
    if (EnvIs("VELTRANO_TEST_BITS", "24")) return 24;
    return 32;
}

}  // namespace

CTestDriver::CTestDriver(IUnknown* outer, REFCLSID clsid) : CUnknown(outer), m_clsid(clsid) {}

CTestDriver::~CTestDriver() {
    stop();
    disposeBuffers();
}

HRESULT STDMETHODCALLTYPE CTestDriver::QueryInterface(REFIID riid, void** ppv) {
    return Owner()->QueryInterface(riid, ppv);
}
ULONG STDMETHODCALLTYPE CTestDriver::AddRef() { return Owner()->AddRef(); }
ULONG STDMETHODCALLTYPE CTestDriver::Release() { return Owner()->Release(); }

HRESULT STDMETHODCALLTYPE CTestDriver::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, m_clsid)) {
        *ppv = static_cast<IASIO*>(this);
        // Through the interface: an aggregated object's references are the
        // outer object's.
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CTestDriver::Discover() { return EnvIs("VELTRANO_TEST_DEVICE", "absent") ? E_FAIL : S_OK; }

ASIOBool CTestDriver::init(void*) {
    m_initialised = !EnvIs("VELTRANO_TEST_INIT", "fail");
    return m_initialised ? ASIOTrue : ASIOFalse;
}
void CTestDriver::getDriverName(char* name) { std::strcpy(name, "Veltrano-HD Test"); }
long CTestDriver::getDriverVersion() { return 7; }
void CTestDriver::getErrorMessage(char* string) {
    std::strcpy(string, m_initialised ? "no error" : "test device refused");
}

ASIOError CTestDriver::getChannels(long* in, long* out) {
    if (in == nullptr || out == nullptr) return ASE_InvalidParameter;
    *in = kChannels;
    *out = kChannels;
    return ASE_OK;
}
ASIOError CTestDriver::getLatencies(long* in, long* out) {
    if (in == nullptr || out == nullptr) return ASE_InvalidParameter;
    *in = 64;
    *out = 96;
    return ASE_OK;
}
ASIOError CTestDriver::getBufferSize(long* minSize, long* maxSize, long* preferred, long* gran) {
    *minSize = 64;
    *maxSize = 8192;
    *preferred = 512;
    *gran = -1;
    return ASE_OK;
}
ASIOError CTestDriver::canSampleRate(ASIOSampleRate rate) {
    if (IsDsdRate(rate)) return ASE_OK;
    for (uint32_t r : kRateTable) {
        if (rate == r) return ASE_OK;
    }
    return ASE_NoClock;
}
ASIOError CTestDriver::getSampleRate(ASIOSampleRate* rate) {
    *rate = m_rate;
    return ASE_OK;
}
ASIOError CTestDriver::setSampleRate(ASIOSampleRate rate) {
    if (canSampleRate(rate) != ASE_OK) return ASE_NoClock;
    m_rate = rate;
    m_dsd = IsDsdRate(rate);
    return ASE_OK;
}
ASIOError CTestDriver::getClockSources(ASIOClockSource* clocks, long* count) {
    std::memset(clocks, 0, sizeof(*clocks));
    clocks->index = 0;
    clocks->associatedChannel = -1;
    clocks->associatedGroup = -1;
    clocks->isCurrentSource = ASIOTrue;
    std::strcpy(clocks->name, "Internal");
    *count = 1;
    return ASE_OK;
}
ASIOError CTestDriver::setClockSource(long reference) {
    return reference == 0 ? ASE_OK : ASE_InvalidParameter;
}
ASIOError CTestDriver::getSamplePosition(ASIOSamples* pos, ASIOTimeStamp* stamp) {
    pos->hi = 0;
    pos->lo = static_cast<unsigned long>(m_position);
    stamp->hi = 0;
    stamp->lo = GetTickCount();
    return ASE_OK;
}

ASIOSampleType CTestDriver::SampleType() const {
    if (m_dsd) return ASIOSTDSDInt8MSB1;
    switch (EnvBits()) {
        case 16:
            return ASIOSTInt16LSB;
        case 24:
            return ASIOSTInt24LSB;
        default:
            return ASIOSTInt32LSB;
    }
}

long CTestDriver::BytesPerSample() const { return m_dsd ? 1 : EnvBits() / 8; }

ASIOError CTestDriver::getChannelInfo(ASIOChannelInfo* info) {
    if (info->channel < 0 || info->channel >= kChannels) return ASE_InvalidParameter;
    info->isActive = ASIOFalse;
    info->channelGroup = 0;
    info->type = SampleType();
    std::strcpy(info->name, info->isInput ? "Test In" : "Test Out");
    return ASE_OK;
}

ASIOError CTestDriver::createBuffers(ASIOBufferInfo* infos, long count, long size,
                                     ASIOCallbacks* callbacks) {
    if (infos == nullptr || callbacks == nullptr || size < 64 || size > 8192 || m_bufferSize != 0)
        return ASE_InvalidMode;
    const long bytes = m_dsd ? size / 8 : size * BytesPerSample();
    for (long i = 0; i < count; ++i) {
        const long ch = infos[i].channelNum;
        if (ch < 0 || ch >= kChannels) {
            disposeBuffers();
            return ASE_InvalidParameter;
        }
        void*(&pair)[2] = infos[i].isInput ? m_in[ch] : m_out[ch];
        for (int half = 0; half < 2; ++half) {
            if (pair[half] == nullptr) pair[half] = std::calloc(1, bytes);
            infos[i].buffers[half] = pair[half];
        }
    }
    m_bufferSize = size;
    m_callbacks = callbacks;
    m_timeInfo = callbacks->asioMessage != nullptr &&
                 callbacks->asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
    return ASE_OK;
}

ASIOError CTestDriver::disposeBuffers() {
    for (int ch = 0; ch < kChannels; ++ch) {
        for (int half = 0; half < 2; ++half) {
            std::free(m_out[ch][half]);
            std::free(m_in[ch][half]);
            m_out[ch][half] = nullptr;
            m_in[ch][half] = nullptr;
        }
    }
    m_bufferSize = 0;
    m_callbacks = nullptr;
    return ASE_OK;
}

ASIOError CTestDriver::start() {
    if (m_bufferSize == 0 || m_thread != nullptr) return ASE_InvalidMode;
    m_running = 1;
    m_thread = CreateThread(nullptr, 0, &CTestDriver::ThreadMain, this, 0, nullptr);
    return m_thread != nullptr ? ASE_OK : ASE_HWMalfunction;
}

ASIOError CTestDriver::stop() {
    if (m_thread == nullptr) return ASE_OK;
    m_running = 0;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
    return ASE_OK;
}

DWORD WINAPI CTestDriver::ThreadMain(void* self) {
    static_cast<CTestDriver*>(self)->Run();
    return 0;
}

void CTestDriver::Run() {
    const long bytes = m_dsd ? m_bufferSize / 8 : m_bufferSize * BytesPerSample();
    const double frameRate = m_dsd ? m_rate : m_rate;
    const DWORD periodMs = static_cast<DWORD>(1000.0 * m_bufferSize / frameRate) + 1;
    long index = 0;
    while (m_running != 0) {
        // Loopback: what the host wrote into the other half last period comes
        // back on the inputs now.
        for (int ch = 0; ch < kChannels; ++ch) {
            if (m_in[ch][index] != nullptr && m_out[ch][1 - index] != nullptr)
                std::memcpy(m_in[ch][index], m_out[ch][1 - index], bytes);
        }
        if (m_timeInfo) {
            ASIOTime time{};
            time.timeInfo.sampleRate = m_rate;
            time.timeInfo.samplePosition.lo = static_cast<unsigned long>(m_position);
            time.timeInfo.flags = kSamplePositionValid | kSampleRateValid;
            m_callbacks->bufferSwitchTimeInfo(&time, index, ASIOFalse);
        } else {
            m_callbacks->bufferSwitch(index, ASIOFalse);
        }
        InterlockedExchangeAdd(&m_position, m_bufferSize);
        index = 1 - index;
        Sleep(periodMs);
    }
}

ASIOError CTestDriver::controlPanel() { return ASE_OK; }
ASIOError CTestDriver::future(long selector, void* opt) {
    if (selector == kAsioSetIoFormat && opt != nullptr) {
        const auto* format = static_cast<ASIOIoFormat*>(opt);
        return format->FormatType == kASIOPCMFormat || format->FormatType == kASIODSDFormat
                   ? ASE_SUCCESS
                   : ASE_NotPresent;
    }
    return ASE_InvalidParameter;
}
ASIOError CTestDriver::outputReady() { return ASE_OK; }

}  // namespace veltrano::test

namespace veltrano::asio {

CUnknown* NewDriverObject(IUnknown* outer, REFCLSID clsid) {
    return new test::CTestDriver(outer, clsid);
}

HRESULT DiscoverDevice(CUnknown* object) {
    return static_cast<test::CTestDriver*>(object)->Discover();
}

}  // namespace veltrano::asio
