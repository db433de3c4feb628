#include "asio/core/asio_backend.h"

namespace veltrano::asio {

ASIOSampleType AsioBackend::PcmSampleType(Direction, int bitsPerSample) const {
    switch (bitsPerSample) {
        case 24:
            return ASIOSTInt24LSB;
        case 32:
            return ASIOSTInt32LSB;
        default:
            return ASIOSTInt16LSB;
    }
}

bool AsioBackend::ChannelActive(const ChannelRoute& route) const {
    return route.enabled && route.stream != nullptr && route.stream->inUse;
}

}  // namespace veltrano::asio
