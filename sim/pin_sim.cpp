// Pin creation and the requests on a pin handle: state, reset and the
// stream transfers, with the checks a USB audio driver makes.

#include <cstdlib>

#include "platform/win32_headers.h"
#include "sim/internal.h"
#include "sim/nt_status.h"
#include "sim/wav_record.h"

namespace sim::detail {
namespace {

bool OffersInterface(const PinConfig& pin, const KSPIN_INTERFACE& wanted) {
    if (!(wanted.Set == KSINTERFACESETID_Standard)) return false;
    return (wanted.Id == KSINTERFACE_STANDARD_STREAMING && pin.standardInterface) ||
           (wanted.Id == KSINTERFACE_STANDARD_LOOPED_STREAMING && pin.loopedInterface);
}

// Checks the data format against the pin's ranges; fills blockAlign and rate.
DWORD CheckFormat(const PinConfig& pin, const KSDATAFORMAT* format, uint32_t* blockAlign,
                  uint32_t* rate) {
    if (format->FormatSize < sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEX)) {
        return ERROR_INVALID_USER_BUFFER;
    }
    if (!(format->MajorFormat == KSDATAFORMAT_TYPE_AUDIO) ||
        !(format->Specifier == KSDATAFORMAT_SPECIFIER_WAVEFORMATEX)) {
        return ERROR_NO_MATCH;
    }
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(format + 1);
    GUID subFormat;
    if (wfx->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (wfx->cbSize < 22 ||
            format->FormatSize < sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEX) + 22) {
            return ERROR_INVALID_PARAMETER;
        }
        const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wfx);
        if (ext->Samples.wValidBitsPerSample > wfx->wBitsPerSample) return ERROR_INVALID_PARAMETER;
        subFormat = ext->SubFormat;
    } else if (wfx->wFormatTag == WAVE_FORMAT_PCM) {
        subFormat = KSDATAFORMAT_SUBTYPE_PCM;
    } else {
        return ERROR_NO_MATCH;
    }
    if (!(subFormat == format->SubFormat)) return ERROR_INVALID_PARAMETER;
    if (wfx->nChannels == 0 || wfx->wBitsPerSample == 0 || wfx->wBitsPerSample % 8 != 0 ||
        wfx->nBlockAlign != wfx->nChannels * wfx->wBitsPerSample / 8 ||
        wfx->nAvgBytesPerSec != wfx->nSamplesPerSec * wfx->nBlockAlign) {
        return ERROR_INVALID_PARAMETER;
    }
    for (const DataRangeConfig& r : pin.ranges) {
        if (!(r.majorFormat == KSDATAFORMAT_TYPE_AUDIO) || !(r.subFormat == subFormat)) continue;
        const bool channelsOk =
            pin.exactChannels ? wfx->nChannels == r.maxChannels : wfx->nChannels <= r.maxChannels;
        if (channelsOk && wfx->wBitsPerSample >= r.minBits && wfx->wBitsPerSample <= r.maxBits &&
            wfx->nSamplesPerSec >= r.minRate && wfx->nSamplesPerSec <= r.maxRate) {
            *blockAlign = wfx->nBlockAlign;
            *rate = wfx->nSamplesPerSec;
            return 0;
        }
    }
    return ERROR_NO_MATCH;
}

bool IsAdjacent(KSSTATE from, KSSTATE to) {
    return std::abs(static_cast<int>(from) - static_cast<int>(to)) <= 1;
}

DWORD SetState(PinInstance* pin, KSSTATE to) {
    if (to < KSSTATE_STOP || to > KSSTATE_RUN) return ERROR_INVALID_PARAMETER;
    // The class driver walks the states one step at a time; skipping one is
    // a caller error.
    if (!IsAdjacent(pin->state, to)) return ERROR_BAD_COMMAND;
    if (to == pin->state) return 0;
    const Faults& faults = Get().config.faults;
    if (faults.failStateTo == static_cast<int>(to)) return faults.failStateError;
    pin->state = to;
    if (to == KSSTATE_RUN) {
        pin->runStart = pin->playhead = Clock::now();
        pin->completedSinceRun = 0;
    }
    PushBounded(Get().records[pin->device][pin->pinId].history, to);
    // Leaving KSSTATE_RUN the packet in progress starts over at the next
    // run; stopping cancels every packet.
    if (to == KSSTATE_STOP) CancelQueue(pin);
    WakeClock();
    return 0;
}

DWORD QueueTransfer(PinInstance* pin, bool write, void* out, DWORD outSize,
                    OVERLAPPED* overlapped) {
    if (write != pin->render) return ERROR_INVALID_FUNCTION;
    if (overlapped == nullptr) return ERROR_INVALID_PARAMETER;
    if (out == nullptr || outSize < sizeof(KSSTREAM_HEADER)) return ERROR_INVALID_USER_BUFFER;
    auto* header = static_cast<KSSTREAM_HEADER*>(out);
    if (header->Size != sizeof(KSSTREAM_HEADER) || outSize != header->Size) {
        return ERROR_INVALID_USER_BUFFER;
    }
    if (header->FrameExtent > 0 && header->Data == nullptr) return ERROR_INVALID_PARAMETER;
    if (write && header->DataUsed > header->FrameExtent) return ERROR_INVALID_PARAMETER;
    const ULONG bytes = write ? header->DataUsed : header->FrameExtent;
    if (pin->blockAlign == 0 || bytes % pin->blockAlign != 0) return ERROR_INVALID_PARAMETER;
    if (pin->state == KSSTATE_STOP) return ERROR_BAD_COMMAND;
    if (pin->inReset) return ERROR_NOT_READY;
    const DWORD refused = Get().config.faults.transferError;
    if (refused != 0) return refused;

    const uint64_t frames = bytes / pin->blockAlign;
    const auto duration = std::chrono::duration_cast<Clock::duration>(
        std::chrono::nanoseconds(frames * 1000000000ull / pin->rate));
    if (pin->state == KSSTATE_RUN && pin->queue.empty()) AccountStarvation(pin, Clock::now());
    overlapped->Internal = kNtPending;
    overlapped->InternalHigh = 0;
    Transfer transfer{header, overlapped, duration, frames, {}};
    if (write) {
        const auto* data = static_cast<const uint8_t*>(header->Data);
        transfer.queued.assign(data, data + bytes);
    }
    pin->queue.push_back(std::move(transfer));
    ++pin->transfersQueued;
    WakeClock();
    return ERROR_IO_PENDING;
}

}  // namespace

DWORD CreatePin(HANDLE filter, KSPIN_CONNECT* connect, HANDLE* pinHandle) {
    State& state = Get();
    if (state.config.faults.ksUserMissing) return ERROR_FILE_NOT_FOUND;
    Object* object = Find(filter);
    if (object == nullptr || object->kind != Kind::Filter) return ERROR_INVALID_HANDLE;
    if (connect == nullptr || pinHandle == nullptr) return ERROR_INVALID_PARAMETER;
    const DeviceConfig& device = state.config.devices[object->device];
    if (connect->PinId >= device.pins.size()) return ERROR_INVALID_PARAMETER;
    const PinConfig& pin = device.pins[connect->PinId];
    if (pin.communication != KSPIN_COMMUNICATION_SINK &&
        pin.communication != KSPIN_COMMUNICATION_BOTH) {
        return ERROR_INVALID_FUNCTION;
    }
    if (connect->PinToHandle != nullptr) return ERROR_INVALID_PARAMETER;
    if (!OffersInterface(pin, connect->Interface)) return ERROR_NO_MATCH;
    if (!pin.standardMedium || !(connect->Medium.Set == KSMEDIUMSETID_Standard) ||
        connect->Medium.Id != KSMEDIUM_TYPE_ANYINSTANCE) {
        return ERROR_NO_MATCH;
    }
    uint32_t blockAlign = 0;
    uint32_t rate = 0;
    const DWORD formatError =
        CheckFormat(pin, reinterpret_cast<const KSDATAFORMAT*>(connect + 1), &blockAlign, &rate);
    if (formatError != 0) return formatError;
    PinRecord& record = state.records[object->device][connect->PinId];
    if (record.currentInstances >= pin.possibleInstances) return ERROR_BUSY;
    if (state.config.faults.pinCreateError != 0) return state.config.faults.pinCreateError;

    auto* instance = new PinInstance;
    instance->device = object->device;
    instance->pinId = connect->PinId;
    instance->render = pin.dataFlow == KSPIN_DATAFLOW_IN;
    instance->blockAlign = blockAlign;
    instance->rate = rate;
    const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(
        reinterpret_cast<const KSDATAFORMAT*>(connect + 1) + 1);
    instance->channels = wfx->nChannels;
    instance->bits = wfx->wBitsPerSample;
    if (instance->render) instance->recordFolder = RecordFolder();
    Object pinObject;
    pinObject.kind = Kind::Pin;
    pinObject.pin = instance;
    HANDLE h = NewHandle(pinObject);
    if (h == INVALID_HANDLE_VALUE) {
        delete instance;
        return ERROR_TOO_MANY_OPEN_FILES;
    }
    ++record.currentInstances;
    instance->instanceNumber = ++record.instancesCreated;
    *pinHandle = h;
    return 0;
}

DWORD PinIoctl(PinInstance* pin, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* returned, OVERLAPPED* overlapped, bool* pending) {
    *returned = 0;
    *pending = false;
    switch (code) {
        case IOCTL_KS_PROPERTY: {
            if (in == nullptr || inSize < sizeof(KSPROPERTY)) return ERROR_INVALID_USER_BUFFER;
            KSPROPERTY property;
            memcpy(&property, in, sizeof property);
            const Faults& faults = Get().config.faults;
            if (property.Set == faults.failPropertySet && property.Id == faults.failPropertyId) {
                return faults.failPropertyError;
            }
            if (!(property.Set == KSPROPSETID_Connection)) return ERROR_SET_NOT_FOUND;
            if (property.Id != KSPROPERTY_CONNECTION_STATE) return ERROR_NOT_FOUND;
            if (property.Flags == KSPROPERTY_TYPE_GET) {
                const KSSTATE state = pin->state;
                return AnswerBytes(&state, sizeof state, out, outSize, returned);
            }
            if (property.Flags != KSPROPERTY_TYPE_SET) return ERROR_INVALID_FUNCTION;
            if (out == nullptr || outSize < sizeof(KSSTATE)) return ERROR_INSUFFICIENT_BUFFER;
            KSSTATE to;
            memcpy(&to, out, sizeof to);
            if (overlapped != nullptr && faults.stallStateTo == static_cast<int>(to)) {
                overlapped->Internal = kNtPending;
                overlapped->InternalHigh = 0;
                pin->stalledRequests.push_back(overlapped);
                *pending = true;
                return 0;
            }
            return SetState(pin, to);
        }
        case IOCTL_KS_RESET_STATE: {
            if (in == nullptr || inSize != sizeof(KSRESET)) return ERROR_INVALID_PARAMETER;
            KSRESET value;
            memcpy(&value, in, sizeof value);
            if (value == KSRESET_BEGIN) {
                pin->inReset = true;
                CancelQueue(pin);
            } else if (value == KSRESET_END) {
                pin->inReset = false;
            } else {
                return ERROR_INVALID_PARAMETER;
            }
            return 0;
        }
        case IOCTL_KS_WRITE_STREAM:
        case IOCTL_KS_READ_STREAM: {
            const DWORD result =
                QueueTransfer(pin, code == IOCTL_KS_WRITE_STREAM, out, outSize, overlapped);
            *pending = result == ERROR_IO_PENDING;
            return result;
        }
        default:
            return ERROR_INVALID_FUNCTION;
    }
}

}  // namespace sim::detail
