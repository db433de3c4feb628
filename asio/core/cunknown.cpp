#include "asio/core/cunknown.h"

#include "asio/core/module.h"

namespace veltrano::asio {

CUnknown::CUnknown(IUnknown* outer)
    : m_owner(outer != nullptr ? outer : NonDelegatingAsUnknown()) {
    ModuleObjectCreated();
}

CUnknown::~CUnknown() { ModuleObjectDestroyed(); }

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<INonDelegatingUnknown*>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refCount));
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        // Releases made while the object tears itself down must not reach
        // zero a second time.
        m_refCount = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

void* CUnknown::operator new(std::size_t size) noexcept { return ModuleAlloc(size); }

void CUnknown::operator delete(void* p) noexcept { ModuleFree(p); }

}  // namespace veltrano::asio
