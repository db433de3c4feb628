#pragma once
// The ASIO driver object. Hosts skip QueryInterface and cast the pointer
// CoCreateInstance returns straight to IASIO*, so IASIO must stay the first
// base class; reference counting lives in the CUnknown part.

#include <memory>

#include "asio/core/asio_backend.h"
#include "asio/core/asio_interface.h"
#include "asio/core/cunknown.h"
#include "asio/core/driver_state.h"
#include "common/contract/status_block.h"

namespace veltrano::asio {

class CAsioSample : public IASIO, public CUnknown {
public:
    CAsioSample(IUnknown* outer, REFCLSID clsid, std::unique_ptr<AsioBackend> backend);
    ~CAsioSample() override;

    // Creation-time device discovery.
    HRESULT Discover();

    // IUnknown, forwarded to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IASIO
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

private:
    struct FutureFlags {
        bool canInputMonitor = false;
        bool canTimeInfo = true;
        bool canTimeCode = false;
        bool canTransport = false;
        bool canInputGain = false;
        bool canInputMeter = false;
        bool canOutputGain = false;
        bool canOutputMeter = false;
        bool canDoIoFormat = true;
    };

    // The channel counts of the current slots; ASE_NotPresent when both are 0.
    ASIOError QueryChannels(long& inputs, long& outputs) const;
    bool OwnsBlock() const { return m_block.OwnedBy(m_state.classId); }
    bool IsDsd() const;
    void ChooseRate();
    void AskHost();
    ASIOError CheckBufferInfos(const ASIOBufferInfo* infos, long count, long inputs,
                               long outputs) const;
    void ReleaseBuffers();
    void Teardown();

    DriverState m_state;
    StatusBlock m_block;
    std::unique_ptr<AsioBackend> m_backend;
    FutureFlags m_flags;
    bool m_timeCodeReadEnabled = false;
    long m_ioFormat = kASIOPCMFormat;
    bool m_timerResolution = false;
};

}  // namespace veltrano::asio
