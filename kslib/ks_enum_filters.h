#pragma once
// Finds audio filters through the setup API by device-interface category.

#include "kslib/ks_aud_filter.h"
#include "kslib/ks_list.h"

namespace kslib {

class CKsEnumFilters {
public:
    CKsEnumFilters() = default;
    virtual ~CKsEnumFilters();
    CKsEnumFilters(const CKsEnumFilters&) = delete;
    CKsEnumFilters& operator=(const CKsEnumFilters&) = delete;

    virtual HRESULT DestroyLists();

    // Lists, as opened render filters with enumerated pins, the interfaces of
    // the first category that have an enabled alias in the second.
    HRESULT EnumFilters(const GUID* pguidCategory, const GUID* pguidAliasCategory);

    const CKsList<CKsFilter>& Filters() const { return m_listFilters; }

private:
    CKsList<CKsFilter> m_listFilters;
};

}  // namespace kslib
