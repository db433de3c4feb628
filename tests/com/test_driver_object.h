#pragma once
// A stand-in driver object for the COM server tests: enough of IASIO for a
// host to query it and stream through it, with a loopback from the outputs to
// the inputs one buffer later. Environment variables steer it:
//   VELTRANO_TEST_DEVICE=absent  device discovery fails
//   VELTRANO_TEST_BITS=16|24|32  the PCM sample type it reports
//   VELTRANO_TEST_INIT=fail      init returns false

#include <windows.h>

#include "asio/core/asio_interface.h"
#include "asio/core/cunknown.h"

namespace veltrano::test {

class CTestDriver : public IASIO, public asio::CUnknown {
public:
    CTestDriver(IUnknown* outer, REFCLSID clsid);
    ~CTestDriver() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    ASIOBool init(void* sysHandle) override;
    void getDriverName(char* name) override;
    long getDriverVersion() override;
    void getErrorMessage(char* string) override;
    ASIOError start() override;
    ASIOError stop() override;
    ASIOError getChannels(long* numInputChannels, long* numOutputChannels) override;
    ASIOError getLatencies(long* inputLatency, long* outputLatency) override;
    ASIOError getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                            long* granularity) override;
    ASIOError canSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getSampleRate(ASIOSampleRate* sampleRate) override;
    ASIOError setSampleRate(ASIOSampleRate sampleRate) override;
    ASIOError getClockSources(ASIOClockSource* clocks, long* numSources) override;
    ASIOError setClockSource(long reference) override;
    ASIOError getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
    ASIOError getChannelInfo(ASIOChannelInfo* info) override;
    ASIOError createBuffers(ASIOBufferInfo* bufferInfos, long numChannels, long bufferSize,
                            ASIOCallbacks* callbacks) override;
    ASIOError disposeBuffers() override;
    ASIOError controlPanel() override;
    ASIOError future(long selector, void* opt) override;
    ASIOError outputReady() override;

    HRESULT Discover();

private:
    static constexpr int kChannels = 2;
    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    long BytesPerSample() const;
    ASIOSampleType SampleType() const;

    CLSID m_clsid;
    bool m_initialised = false;
    bool m_dsd = false;
    double m_rate = 44100.0;
    long m_bufferSize = 0;
    ASIOCallbacks* m_callbacks = nullptr;
    bool m_timeInfo = false;
    void* m_out[kChannels][2] = {};
    void* m_in[kChannels][2] = {};
    HANDLE m_thread = nullptr;
    volatile LONG m_running = 0;
    volatile LONG m_position = 0;
};

}  // namespace veltrano::test
