#pragma once
// The count of a virtual object that answers more than one interface (a
// connector that is also a part, a volume level that is also a per-channel
// level). The object writes its own QueryInterface and forwards AddRef and
// Release here: one count, counted among the live objects, deleted at the
// last Release.

#include <windows.h>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

class CountedObject {
public:
    CountedObject() = default;
    virtual ~CountedObject() = default;
    CountedObject(const CountedObject&) = delete;
    CountedObject& operator=(const CountedObject&) = delete;

protected:
    ULONG Ref() { return m_refs.AddRef(); }
    ULONG Unref() {
        const ULONG left = m_refs.Release();
        if (left == 0) delete this;
        return left;
    }

private:
    LiveObject m_live;
    RefCount m_refs;
};

// Hands out an interface of an object with a reference.
template <typename Interface>
HRESULT Answer(Interface* object, void** ppv) {
    *ppv = object;
    object->AddRef();
    return S_OK;
}

}  // namespace veltrano::sim
