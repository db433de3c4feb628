#include "asio/core/asio_sample.h"

#include <mmsystem.h>

#include <utility>

#include "asio/core/buffer_math.h"
#include "common/contract/settings_store.h"
#include "common/width_mask.h"

namespace veltrano::asio {

CAsioSample::CAsioSample(IUnknown* outer, REFCLSID clsid, std::unique_ptr<AsioBackend> backend)
    : CUnknown(outer), m_backend(std::move(backend)) {
    m_state.classId = clsid;
    m_state.block = &m_block;
    if (m_block.Open()) {
        m_state.pcmRate = m_state.asioRate = LoadSettings(m_block);
    }
}

CAsioSample::~CAsioSample() { Teardown(); }

void CAsioSample::Teardown() {
    if (m_timerResolution) timeEndPeriod(1);
    m_timerResolution = false;
    if (m_state.state == kStateRunning) stop();
    if (m_state.state == kStatePrepared) disposeBuffers();
    if (m_state.state >= kStateInitialized) {
        SaveSettings(m_state.pcmRate, m_block);
        m_state.state = kStateLoaded;
    }
    if (m_backend) m_backend->Shutdown();
    m_state.currentSlot[0] = m_state.currentSlot[1] = nullptr;
    m_state.state = kStateUnloaded;
    m_block.Release(m_state.classId);
    m_block.Close();
}

HRESULT CAsioSample::Discover() {
    if (!m_backend) return E_FAIL;
    m_block.Claim(m_state.classId, static_cast<uint32_t>(m_backend->ClaimState()));
    m_state.device = DeviceIdentity{};
    const HRESULT hr = m_backend->Discover(m_state.device);
    if (FAILED(hr)) return hr;
    // The identity comes from outside the core; keep its name terminated.
    m_state.device.deviceName[sizeof(m_state.device.deviceName) - 1] = '\0';
    m_state.state = kStateLoaded;
    m_timerResolution = timeBeginPeriod(1) == TIMERR_NOERROR;
    m_block.PublishDeviceName(m_state.classId, m_state.device.deviceName);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CAsioSample::QueryInterface(REFIID riid, void** ppv) {
    return CUnknown::Owner()->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE CAsioSample::AddRef() { return CUnknown::Owner()->AddRef(); }

ULONG STDMETHODCALLTYPE CAsioSample::Release() { return CUnknown::Owner()->Release(); }

HRESULT STDMETHODCALLTYPE CAsioSample::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    // Hosts ask for the class identifier as the interface identifier.
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, m_state.classId)) {
        IASIO* asio = this;
        *ppv = asio;
        asio->AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// A second init re-reads the settings and rebuilds the table, so a host can
// pick up settings changed in the control panel without re-creating the
// driver. While buffers exist the streaming side works on the table, so
// init then reports success and changes nothing.
ASIOBool CAsioSample::init(void* sysHandle) {
    if (m_state.state >= kStatePrepared) return ASIOTrue;
    if (m_state.state < kStateLoaded || !m_backend) return ASIOFalse;
    m_state.sysHandle = sysHandle;
    if (FAILED(m_backend->Acquire(m_state))) return ASIOFalse;

    m_state.pcmRate = m_state.asioRate = LoadSettings(m_block);
    const GUID& id = m_state.classId;
    int requestedWidth = 0;
    m_state.bufferDuration = 0;
    if (OwnsBlock()) {
        m_state.bufferDuration =
            SettingToDuration100ns(m_block.Read(&AsioStatusBlock::bufferSizeSetting));
        const uint32_t bits = m_block.Read(&AsioStatusBlock::bitsPerSampleSetting);
        requestedWidth = IsValidWidth(static_cast<int>(bits)) ? static_cast<int>(bits) : 0;
    }
    m_state.bitsPerSample = ChooseWidth(requestedWidth, m_state.device.widthMask);
    m_state.userBitsPerSample = m_state.bitsPerSample;

    for (Direction d : {Direction::kOutput, Direction::kInput}) {
        DirectionSlots& slots = m_state.table[d];
        for (int i = 0; i < kRateCount; ++i) slots[i].Reset(kRateTable[i]);
        m_backend->BuildTable(d, m_state.bitsPerSample, slots);
    }

    m_state.bufferDuration = EffectiveDuration(m_state.bufferDuration);
    m_state.queueDepth = kQueueDepth;
    ChooseRate();
    m_block.PublishFormat(id, DurationToSetting(m_state.bufferDuration), m_state.pcmRate,
                          static_cast<uint32_t>(m_state.bitsPerSample));
    for (Direction d : {Direction::kOutput, Direction::kInput}) {
        m_state.CurrentSlot(d) = m_state.table.Find(d, m_state.pcmRate);
    }
    m_flags = FutureFlags{};
    m_timeCodeReadEnabled = false;
    m_ioFormat = kASIOPCMFormat;
    m_state.state = kStateInitialized;
    m_block.PublishInitialized(id, m_state.device.widthMask, m_state.table.SupportedRateMask());
    return ASIOTrue;
}

void CAsioSample::ChooseRate() {
    const int index = RateIndex(m_state.pcmRate);
    if (index >= 0 && m_state.table.SupportedBoth(index)) {
        m_state.asioRate = m_state.pcmRate;
        return;
    }
    m_state.pcmRate = m_state.asioRate = 0;
    for (int i = 0; i < kRateCount; ++i) {
        if (m_state.table.SupportedBoth(i)) {
            m_state.pcmRate = m_state.asioRate = kRateTable[i];
            return;
        }
    }
}

ASIOError CAsioSample::QueryChannels(long& inputs, long& outputs) const {
    const RateSlot* in = m_state.CurrentSlot(Direction::kInput);
    const RateSlot* out = m_state.CurrentSlot(Direction::kOutput);
    inputs = in != nullptr ? static_cast<long>(in->channelCount) : 0;
    outputs = out != nullptr ? static_cast<long>(out->channelCount) : 0;
    return inputs == 0 && outputs == 0 ? ASE_NotPresent : ASE_OK;
}

bool CAsioSample::IsDsd() const { return IsDsdRate(static_cast<double>(m_state.asioRate)); }

}  // namespace veltrano::asio
