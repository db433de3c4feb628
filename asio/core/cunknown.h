#pragma once
// Non-delegating reference counting for the driver's COM objects (the class
// factory and the driver object). An object that is not aggregated is its
// own controlling unknown; an aggregated one forwards its IUnknown calls to
// the outer object.

#include <unknwn.h>
#include <windows.h>

#include <cstddef>

namespace veltrano::asio {

struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class CUnknown : public INonDelegatingUnknown {
public:
    // outer: the aggregating object, or null for the object itself.
    explicit CUnknown(IUnknown* outer);
    virtual ~CUnknown();

    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // Every object comes zero-filled from the module's private heap. A null
    // result makes the new-expression yield null instead of throwing.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* p) noexcept;

    IUnknown* Owner() const { return m_owner; }
    LONG RefCount() const { return m_refCount; }

protected:
    // The object's own non-delegating interface viewed as an IUnknown: the
    // two vtables agree slot for slot.
    IUnknown* NonDelegatingAsUnknown() {
        return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this));
    }

private:
    volatile LONG m_refCount = 0;
    IUnknown* m_owner;
};

}  // namespace veltrano::asio
