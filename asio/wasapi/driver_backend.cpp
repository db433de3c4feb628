// The back end of the WASAPI driver DLLs (and of the tests that drive them).
#include <new>

#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {

std::unique_ptr<AsioBackend> CreateDriverBackend() noexcept {
    return std::unique_ptr<AsioBackend>(new (std::nothrow) WasapiBackend());
}

}  // namespace veltrano::asio
