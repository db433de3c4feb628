#pragma once
// The virtual device's profile: what the simulated Veltrano-HD offers when a
// `_sim` driver is loaded by a host. Read from the INI file named by the
// environment variable VELTRANO_SIM_PROFILE; without one the device is a
// full-featured Veltrano-HD.
//
//   [device]
//   render = 1                 ; a render (playback) pin
//   capture = 1                ; a capture (record) pin
//   channels = 2               ; render channels, 1-8
//   capture_channels = 2       ; capture channels, 1-8
//   widths = 16, 24, 32        ; sample widths offered by both pins
//   rates = 44100, 48000       ; render rates (any of the nine table rates)
//   capture_rates = 48000      ; capture rates (default: as rates)
//   hid = 1                    ; the HID command interface is present
//   hid_report_length = 64     ; its output report length in bytes, 0-255
//   product_id = 0001          ; USB product ID (hexadecimal), vendor from the table
//   minimum_period_us = 2000   ; the audio endpoints' minimum exclusive period
//   buffer_alignment_bytes = 0 ; their exclusive buffers must be multiples of this (0: any)
//   [faults]
//   stop_completing_after_ms = 0  ; packets stop completing this long after RUN (0: never)
//   pin_busy = 0               ; another client holds every pin: creation fails busy
//   completion_error_after = 40   ; from this transfer after RUN on, completions fail
//   completion_error = removed ; with: removed, cancelled, busy, failure
//   fail_state = run           ; pin state changes to this state fail
//   stall_state = run          ; pin state changes to this state never complete
//   async_properties = 0       ; property requests go pending (and may fail so)
//   size_query_error = more_data  ; or insufficient_buffer (no size given)
//   hid_write_stall_ms = 0     ; HID writes are not taken (overlapped: until cancelled)
//   unplug_after_ms = 0        ; the device goes away this long after a stream starts (0: never)
//
// Unknown sections or keys and malformed values are reported and leave the
// default in place; the profile never fails as a whole.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::sim {

struct SimProfile {
    bool render = true;
    bool capture = true;
    uint32_t channels = 2;
    uint32_t captureChannels = 2;
    uint32_t widthMask = 0xE;         // bit 1 16, bit 2 24, bit 3 32
    uint32_t rateMask = 0x1FF;        // bit i = rate table entry i
    uint32_t captureRateMask = 0x1FF;
    bool hid = true;
    uint32_t hidReportLength = 64;
    uint16_t productId = 0;           // 0: the accepted-devices table's first entry
    uint32_t stopCompletingAfterMs = 0;
    bool microphone = false;          // a microphone record endpoint beside the line input
    bool denyEndpointWrites = false;  // endpoint property writes fail as without admin rights
    bool pinBusy = false;
    int32_t completionErrorAfter = -1;  // -1: never
    uint32_t completionError = 1617;    // ERROR_DEVICE_REMOVED
    int32_t failState = -1;             // KSSTATE value, -1: none
    int32_t stallState = -1;            // KSSTATE value, -1: none
    bool asyncProperties = false;
    uint32_t sizeQueryError = 234;      // ERROR_MORE_DATA (or 122, ERROR_INSUFFICIENT_BUFFER)
    uint32_t hidWriteStallMs = 0;
    uint32_t minimumPeriodUs = 2000;
    uint32_t bufferAlignmentBytes = 0;
    uint32_t unplugAfterMs = 0;
};

struct ProfileResult {
    SimProfile profile;
    std::vector<std::string> problems;  // "line N: ..." for everything ignored
};

// Parses INI text. Never fails; see problems for what was ignored.
ProfileResult ParseSimProfile(std::string_view text);

}  // namespace veltrano::sim
