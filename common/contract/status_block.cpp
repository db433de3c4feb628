#include "common/contract/status_block.h"

#include "common/contract/shared_object_security.h"
#include "common/rate_table.h"

namespace veltrano {

bool StatusBlock::Open(const char* name) {
    Close();
    bool created = false;
    m_mapping.Reset(OpenFileMappingA(FILE_MAP_WRITE, FALSE, name));
    if (!m_mapping) {
        // Whichever side creates it, elevated or not, the other must be able
        // to open it for writing.
        SharedObjectSecurity security;
        m_mapping.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, security.Attributes(),
                                           PAGE_READWRITE, 0, kStatusBlockSize, name));
        if (!m_mapping) return false;
        // Another party may have created it between the two calls; only a
        // real creator may zero it.
        created = GetLastError() != ERROR_ALREADY_EXISTS;
    }
    UniqueMappedView view(MapViewOfFile(m_mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    MEMORY_BASIC_INFORMATION info{};
    // A section of that name created smaller by someone else must not let
    // field accesses run past the mapped pages.
    if (!view || VirtualQuery(view.get(), &info, sizeof(info)) == 0 ||
        info.RegionSize < kStatusBlockSize) {
        view.Reset();
        m_mapping.Reset();
        return false;
    }
    m_view = static_cast<volatile AsioStatusBlock*>(view.get());
    m_mappedView = std::move(view);
    if (created) {
        volatile uint8_t* bytes = reinterpret_cast<volatile uint8_t*>(m_view);
        for (uint32_t i = 0; i < kStatusBlockSize; ++i) bytes[i] = 0;
        m_view->magic = kStatusBlockMagic;
    }
    return created;
}

void StatusBlock::Close() {
    m_view = nullptr;
    m_mappedView.Reset();
    m_mapping.Reset();
}

bool StatusBlock::Present() const {
    return m_view != nullptr && m_view->magic == kStatusBlockMagic;
}

void StatusBlock::ReadOwner(GUID& out) const {
    auto* dst = reinterpret_cast<uint8_t*>(&out);
    for (int i = 0; i < 16; ++i) dst[i] = m_view->ownerClsid[i];
}

void StatusBlock::WriteOwner(const GUID& clsid) {
    const auto* src = reinterpret_cast<const uint8_t*>(&clsid);
    for (int i = 0; i < 16; ++i) m_view->ownerClsid[i] = src[i];
}

bool StatusBlock::Unowned() const {
    if (!Present()) return false;
    GUID owner{};
    ReadOwner(owner);
    return owner == GUID{};
}

bool StatusBlock::OwnedBy(const GUID& clsid) const {
    if (!Present()) return false;
    GUID owner{};
    ReadOwner(owner);
    return owner == clsid;
}

uint32_t StatusBlock::Read(Field field) const { return Present() ? m_view->*field : 0; }

void StatusBlock::Write(Field field, uint32_t value) {
    if (Present()) m_view->*field = value;
}

void StatusBlock::ReadDeviceName(char (&out)[kStatusDeviceNameSize]) const {
    uint32_t i = 0;
    if (Present()) {
        for (; i + 1 < kStatusDeviceNameSize; ++i) {
            const char c = m_view->deviceName[i];
            if (c == '\0') break;
            out[i] = c;
        }
    }
    out[i] = '\0';
}

void StatusBlock::Claim(const GUID& clsid, uint32_t state) {
    if (!Unowned()) return;
    m_view->state = state;
    WriteOwner(clsid);
    m_view->changed = 1;
}

void StatusBlock::PublishDeviceName(const GUID& clsid, const char* name) {
    if (!OwnedBy(clsid)) return;
    uint32_t i = 0;
    for (; name != nullptr && name[i] != '\0' && i < kStatusDeviceNameSize - 1; ++i) {
        m_view->deviceName[i] = name[i];
    }
    for (; i < kStatusDeviceNameSize; ++i) m_view->deviceName[i] = '\0';
    m_view->changed = 1;
}

void StatusBlock::PublishFormat(const GUID& clsid, uint32_t bufferSetting, uint32_t rate,
                                uint32_t bits) {
    if (!OwnedBy(clsid)) return;
    m_view->bufferSize = bufferSetting;
    m_view->sampleRate = rate;
    m_view->bitsPerSample = bits;
    m_view->changed = 1;
}

void StatusBlock::PublishInitialized(const GUID& clsid, uint32_t widthMask, uint32_t rateMask) {
    if (!OwnedBy(clsid)) return;
    m_view->state = kStatusInitialized;
    m_view->supportedBits = widthMask & 15u;
    m_view->supportedRates = rateMask;
    m_view->changed = 1;
}

void StatusBlock::PublishSampleRate(uint32_t rate) {
    if (!Present()) return;
    m_view->sampleRate = rate;
    m_view->changed = 1;
}

void StatusBlock::PublishNativeDsdWidth() { PublishWidth(32); }

void StatusBlock::PublishWidth(uint32_t bits) {
    if (!Present()) return;
    m_view->bitsPerSample = bits;
    m_view->changed = 1;
}

void StatusBlock::PublishPrepared(const GUID& clsid, uint32_t hostBufferSize, uint32_t asioRate) {
    if (!OwnedBy(clsid)) return;
    const bool nativeDsd =
        asioRate == kDsd64Rate || asioRate == kDsd128Rate || asioRate == kDsd256Rate;
    m_view->state = kStatusPrepared;
    m_view->bufferSize = nativeDsd ? hostBufferSize / 32 : hostBufferSize;
    m_view->dsdActive = nativeDsd ? 1 : 0;
    m_view->dsd128 = asioRate == kDsd128Rate ? 1 : 0;
    m_view->dsd256 = asioRate == kDsd256Rate ? 1 : 0;
    m_view->nativeDsd = nativeDsd ? 1 : 0;
    m_view->changed = 1;
}

void StatusBlock::PublishState(const GUID& clsid, uint32_t state) {
    if (!OwnedBy(clsid)) return;
    m_view->state = state;
    m_view->changed = 1;
}

void StatusBlock::PublishDisposed(const GUID& clsid) {
    if (!OwnedBy(clsid)) return;
    m_view->state = kStatusInitialized;
    m_view->dsdActive = 0;
    m_view->dsd128 = 0;
    m_view->dsd256 = 0;
    m_view->nativeDsd = 0;
    m_view->changed = 1;
}

void StatusBlock::PublishDop(const GUID& clsid, bool detected) {
    if (!OwnedBy(clsid)) return;
    const uint32_t active = detected ? 1 : 0;
    const uint32_t dsd128 = detected && m_view->sampleRate == 352800 ? 1 : 0;
    if (m_view->dsdActive != active || m_view->dsd128 != dsd128) {
        m_view->dsdActive = active;
        m_view->dsd128 = dsd128;
        m_view->changed = 1;
    }
}

bool StatusBlock::TakeResetRequest(const GUID& clsid) {
    if (!OwnedBy(clsid) || m_view->resetRequest == 0) return false;
    m_view->resetRequest = 0;
    return true;
}

PanelRequestFields StatusBlock::PanelFields() {
    if (!Present()) return {};
    return {&m_view->changed, &m_view->showPanelRequest};
}

void StatusBlock::Release(const GUID& clsid) {
    if (!OwnedBy(clsid)) return;
    m_view->state = kStatusUnloaded;
    WriteOwner(GUID{});
    m_view->changed = 1;
}

}  // namespace veltrano
