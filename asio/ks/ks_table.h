#pragma once
// The capability table of one direction from a filter's sink pins.

#include "asio/core/capability_table.h"
#include "asio/ks/pin_stream.h"
#include "kslib/ks_list.h"
#include "kslib/ks_pin.h"

namespace veltrano::asio::ks {

// The pin records of one direction: three positions for each rate.
using DirectionPins = PinStream[kRateCount][kPinsPerSlot];

// Channels a pin can carry at this width and rate: the largest
// MaximumChannels among its PCM data ranges covering both (0: unusable).
uint32_t PinChannels(const kslib::CKsPin& pin, int bitsPerSample, uint32_t rate);

// Fills the nine slots (arriving reset to their rates) from `candidates` in
// list order. The table has room for three pins and 64 channels per slot:
// later pins, and the channels beyond 64, are left out; a pin that would get
// no channel at all takes no position.
void BuildDirectionTable(const kslib::CKsList<kslib::CKsPin>& candidates, int bitsPerSample,
                         DirectionSlots& slots, DirectionPins& pins);

}  // namespace veltrano::asio::ks
