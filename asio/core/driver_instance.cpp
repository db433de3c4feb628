#include "asio/core/driver_instance.h"

#include <new>
#include <utility>

#include "asio/core/asio_sample.h"

namespace veltrano::asio {

CUnknown* NewDriverObject(IUnknown* outer, REFCLSID clsid) {
    std::unique_ptr<AsioBackend> backend = CreateDriverBackend();
    if (!backend) return nullptr;
    CAsioSample* object = new CAsioSample(outer, clsid, std::move(backend));
    return object;
}

HRESULT DiscoverDevice(CUnknown* object) {
    if (object == nullptr) return E_FAIL;
    return static_cast<CAsioSample*>(object)->Discover();
}

}  // namespace veltrano::asio
