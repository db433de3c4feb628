#pragma once
// The device side of a driver object. Each driver DLL has one back end
// (kernel streaming or WASAPI) and links exactly one CreateDriverBackend();
// the driver object calls it in the order of an ASIO session:
//
//   creation   Discover                         (fails: object creation fails)
//   init       Acquire, BuildTable(output), BuildTable(input)
//   createBuffers  AllocateChannels(input), AllocateChannels(output), StartThreads
//   start/stop     OnStart / OnStop
//   disposeBuffers StopThreads, ReleaseChannels(input), ReleaseChannels(output)
//   destruction    Shutdown
//
// Calls run on a host thread, and hosts also call stop, start and
// disposeBuffers from inside their callbacks, that is on the back end's own
// streaming thread (bufferSwitch, or asioMessage answering a reset request);
// DriverState::OnStreamingThread() tells which. On the streaming thread
// OnStop, OnStart, StopThreads and ReleaseChannels must complete without
// waiting for that thread: make the transition in place, and leave freeing
// whatever the thread still touches once the callback returns (packets, host
// buffers, its own handle) to the thread itself or to the next
// AllocateChannels / StartThreads / Shutdown, which wait a bounded time for
// it. No call a host makes may wait for ever. The back end keeps its own records
// (pins or endpoint streams, derived from DeviceStream) and lets the
// capability table point at them; it owns their storage for the object's
// lifetime, so a table rebuilt at a second init may reuse them.
//
// Results: HRESULTs for discovery and acquisition (platform results passed
// on unchanged), ASIO codes for the buffer and transport steps. Nothing
// throws.

#include <windows.h>

#include <memory>

#include "asio/core/asio_interface.h"
#include "asio/core/capability_table.h"
#include "asio/core/driver_state.h"

namespace veltrano::asio {

// getBufferSize's four figures, in the host's frames (DSD samples in
// native DSD).
struct BufferSizeRange {
    long minimum = 0;
    long maximum = 0;
    long preferred = 0;
    long granularity = 0;
};

class AsioBackend {
public:
    virtual ~AsioBackend() = default;

    // Creation: find the device and fill `identity` (name, USB ids, width
    // mask, hasInput). S_OK, or a failure when no supported device exists.
    // Releases everything it opened to probe.
    virtual HRESULT Discover(DeviceIdentity& identity) = 0;

    // The object state the status-block claim at creation records: the
    // kernel-streaming driver claims as loaded, the WASAPI driver with the
    // state it has before discovery.
    virtual int ClaimState() const { return kStateLoaded; }

    // init: open the filters or endpoints of the discovered device and
    // create the engine's synchronisation objects. A failure makes init
    // return ASIOFalse. Called again by a second init; it must then keep or
    // re-open what it holds without leaking.
    virtual HRESULT Acquire(const DriverState& driver) = 0;

    // init: fill the nine slots of one direction for `bitsPerSample`. The
    // slots arrive reset to their rates. Without a capture side the input
    // slots must be marked supported with no streams and no channels.
    virtual void BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots) = 0;

    // createBuffers: host buffers for the infos of one direction, device
    // streams opened for the slot. ASE_OK, ASE_NoMemory or a device error.
    virtual ASIOError AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                                       ASIOBufferInfo* infos, long count, long bufferSize) = 0;
    // Also called after a failed or partial allocation, so it must be
    // harmless on a slot with nothing (or only part) allocated.
    virtual void ReleaseChannels(DriverState& driver, Direction direction, RateSlot& slot) = 0;
    virtual ASIOError StartThreads(DriverState& driver) = 0;
    virtual void StopThreads(DriverState& driver) = 0;

    // Transport commands to the streaming thread. `transition` is true when
    // the call changes the state (prepared to running, running to
    // prepared); the WASAPI driver also sets its flags on calls that do not.
    virtual ASIOError OnStart(DriverState& driver, bool transition) = 0;
    virtual ASIOError OnStop(DriverState& driver, bool transition) = 0;

    // The host's outputReady. The kernel-streaming driver copies the output
    // half here; the WASAPI driver copies on the stream events and answers
    // ASE_OK without doing anything.
    virtual ASIOError OutputReady(DriverState& driver) = 0;

    // getBufferSize and getLatencies from what the device really runs.
    // false: the driver object's own figures (the buffer-duration table,
    // one buffer each way).
    virtual bool BufferSizes(const DriverState&, BufferSizeRange&) { return false; }
    virtual bool Latencies(const DriverState&, long& /*input*/, long& /*output*/) {
        return false;
    }

    // getChannelInfo details that differ between the back ends.
    virtual long ChannelGroup(Direction direction, const ChannelRoute& route) const = 0;
    virtual ASIOSampleType PcmSampleType(Direction direction, int bitsPerSample) const;
    virtual bool ChannelActive(const ChannelRoute& route) const;

    // Destruction, after the transport has been stopped and the buffers
    // disposed: close every handle and release filters or endpoints.
    virtual void Shutdown() = 0;
};

// Link-time hook: defined once in each driver DLL (and by tests). Null when
// memory is exhausted; must not throw.
std::unique_ptr<AsioBackend> CreateDriverBackend() noexcept;

}  // namespace veltrano::asio
