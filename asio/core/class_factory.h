#pragma once
// The class factory handed out by DllGetClassObject. It accepts any class
// identifier and gives it to the driver objects it creates as their identity,
// since every registration makes a fresh one.

#include <unknwn.h>
#include <windows.h>

#include "asio/core/cunknown.h"

namespace veltrano::asio {

class CAsioClsFactory : public IClassFactory, public CUnknown {
public:
    explicit CAsioClsFactory(REFCLSID clsid);

    // IUnknown: forwarded to the controlling unknown.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IClassFactory
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    const CLSID& Clsid() const { return m_clsid; }

private:
    CLSID m_clsid;
};

// The body of DllGetClassObject.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

// The body of DllCanUnloadNow.
HRESULT CanUnloadNow();

}  // namespace veltrano::asio
