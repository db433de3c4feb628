#pragma once
// What createBuffers builds on the device side of one direction and
// disposeBuffers takes down: host halves per ASIO channel, pin formats and
// pin instances, and the packet buffers of each pin's ring.

#include "asio/core/asio_interface.h"
#include "asio/core/capability_table.h"

namespace veltrano::asio::ks {

struct BufferFormat {
    int bitsPerSample = 0;
    uint32_t pcmRate = 0;
    bool dsd = false;  // host frames are DSD bits: 32 per device sample
};

// Whether a host buffer size can be carried: at least one device frame (a
// whole number of them in DSD) and at most the largest size getBufferSize
// offers, which keeps every packet size well inside 32 bits.
bool BufferSizeAcceptable(const BufferFormat& format, uint32_t asioRate, long bufferSize);

// Host buffers for the infos of one direction, then every pin of the slot
// that carries one of them: format, instance and eight packet buffers. A pin
// that refuses every channel count is left out. ASE_OK, ASE_NoMemory or
// ASE_InvalidParameter; on failure the caller releases the slot. A slot
// whose pins all failed to open gives ASE_NotPresent when a pin was busy
// (another client holds it) and ASE_HWMalfunction otherwise: a buffer set
// that would never switch must not look like success.
ASIOError AllocateSlot(RateSlot& slot, bool input, ASIOBufferInfo* infos, long count,
                       long bufferSize, const BufferFormat& format);

// Frees everything AllocateSlot made and closes the pins; harmless on a
// slot with nothing or only part allocated.
void ReleaseSlot(RateSlot& slot);

}  // namespace veltrano::asio::ks
