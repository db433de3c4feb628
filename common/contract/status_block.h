#pragma once
// A driver object's view of the shared status block: opening or creating the
// named section, the ownership test, and one operation per event that writes
// the block. The block is absent (every read gives nothing and every write is
// skipped) when it could not be mapped or its magic does not hold, so a block
// left behind by a faulty party never misleads the driver.

#include <windows.h>

#include <cstdint>

#include "common/asio_status_block.h"
#include "common/contract/panel_window.h"
#include "common/win_owners.h"

namespace veltrano {

class StatusBlock {
public:
    using Field = uint32_t AsioStatusBlock::*;

    StatusBlock() = default;
    ~StatusBlock() { Close(); }
    StatusBlock(const StatusBlock&) = delete;
    StatusBlock& operator=(const StatusBlock&) = delete;

    // Opens the named section, or creates it when it does not exist; a
    // creator zeroes it and writes the magic. True when this call created it.
    bool Open(const char* name = kStatusBlockName);
    void Close();

    // Mapped and carrying the magic.
    bool Present() const;
    bool Unowned() const;
    bool OwnedBy(const GUID& clsid) const;

    // Plain aligned 32-bit access; 0 and no write while absent.
    uint32_t Read(Field field) const;
    void Write(Field field, uint32_t value);
    // The device name as any process may have left it: at most
    // kStatusDeviceNameSize - 1 characters, always terminated; empty while
    // absent.
    void ReadDeviceName(char (&out)[kStatusDeviceNameSize]) const;

    // --- Writers by event -------------------------------------------------
    // Device found at creation: an unowned block is claimed.
    void Claim(const GUID& clsid, uint32_t state);
    void PublishDeviceName(const GUID& clsid, const char* name);
    // init: the effective buffer duration (0.1 ms), rate and width.
    void PublishFormat(const GUID& clsid, uint32_t bufferSetting, uint32_t rate, uint32_t bits);
    // init, last step: initialized, with what the device supports.
    void PublishInitialized(const GUID& clsid, uint32_t widthMask, uint32_t rateMask);
    // setSampleRate changed the device rate (magic test only).
    void PublishSampleRate(uint32_t rate);
    // getChannelInfo in native DSD (magic test only).
    void PublishNativeDsdWidth();
    // The width again after native DSD (magic test only, like the above).
    void PublishWidth(uint32_t bits);
    // createBuffers succeeded with `hostBufferSize` frames at `asioRate`.
    void PublishPrepared(const GUID& clsid, uint32_t hostBufferSize, uint32_t asioRate);
    // start (4) and stop (3).
    void PublishState(const GUID& clsid, uint32_t state);
    void PublishDisposed(const GUID& clsid);
    // DSD-over-PCM markers found or lost in the output path.
    void PublishDop(const GUID& clsid, bool detected);
    // Streaming thread: true (and the request cleared) when the control
    // panel asked for a host reset.
    bool TakeResetRequest(const GUID& clsid);
    // The fields controlPanel writes when the panel's window exists: null
    // unless the block is present (magic test only).
    PanelRequestFields PanelFields();
    // Object destroyed: an owner gives the block back.
    void Release(const GUID& clsid);

private:
    void ReadOwner(GUID& out) const;
    void WriteOwner(const GUID& clsid);

    UniqueHandle m_mapping;
    UniqueMappedView m_mappedView;
    // The mapped view as the record; null while nothing is mapped.
    volatile AsioStatusBlock* m_view = nullptr;
};

}  // namespace veltrano
