#include "asio/core/class_factory.h"

#include "asio/core/driver_instance.h"
#include "asio/core/module.h"

namespace veltrano::asio {

CAsioClsFactory::CAsioClsFactory(REFCLSID clsid) : CUnknown(nullptr), m_clsid(clsid) {}

HRESULT STDMETHODCALLTYPE CAsioClsFactory::QueryInterface(REFIID riid, void** ppv) {
    return Owner()->QueryInterface(riid, ppv);
}

ULONG STDMETHODCALLTYPE CAsioClsFactory::AddRef() { return Owner()->AddRef(); }

ULONG STDMETHODCALLTYPE CAsioClsFactory::Release() { return Owner()->Release(); }

HRESULT STDMETHODCALLTYPE CAsioClsFactory::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_FAIL;
}

HRESULT STDMETHODCALLTYPE CAsioClsFactory::CreateInstance(IUnknown* outer, REFIID riid,
                                                          void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    // An aggregating object can only control the inner object's lifetime
    // through its non-delegating unknown, so that is all it may ask for.
    if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    CUnknown* object = NewDriverObject(outer, m_clsid);
    if (object == nullptr) return E_FAIL;
    // The reference taken here keeps the object alive through discovery; the
    // matching release destroys it when discovery or the query failed.
    object->NonDelegatingAddRef();
    HRESULT hr = DiscoverDevice(object);
    if (SUCCEEDED(hr)) {
        if (outer != nullptr) {
            *ppv = static_cast<INonDelegatingUnknown*>(object);
            object->NonDelegatingAddRef();
        } else {
            hr = object->NonDelegatingQueryInterface(riid, ppv);
        }
    }
    object->NonDelegatingRelease();
    return hr;
}

HRESULT STDMETHODCALLTYPE CAsioClsFactory::LockServer(BOOL lock) {
    ModuleLock(lock != FALSE);
    return S_OK;
}

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new CAsioClsFactory(rclsid);
    if (factory == nullptr) return E_FAIL;
    factory->NonDelegatingAddRef();
    const HRESULT hr = factory->NonDelegatingQueryInterface(riid, ppv);
    factory->NonDelegatingRelease();
    return hr;
}

HRESULT CanUnloadNow() {
    return ModuleLockCount() > 0 || ModuleObjectCount() != 0 ? S_FALSE : S_OK;
}

}  // namespace veltrano::asio
