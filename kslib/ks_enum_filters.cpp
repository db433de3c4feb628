#include "kslib/ks_enum_filters.h"

#include <new>

#include "kslib/ks_heap.h"
#include "kslib/ks_log.h"
#include "platform/ks_setupdi.h"
#include "platform/seam_owners.h"
#include "platform/win32_headers.h"

namespace kslib {
namespace {

constexpr DWORD kDetailBufferSize = 528;

bool IsNullCategory(const GUID* pguid) { return pguid == nullptr || *pguid == GUID{}; }

}  // namespace

CKsEnumFilters::~CKsEnumFilters() { CKsEnumFilters::DestroyLists(); }

HRESULT CKsEnumFilters::DestroyLists() {
    KsTraceScope trace("CKsEnumFilters::DestroyLists()");
    for (CKsFilter* pFilter : m_listFilters) delete pFilter;
    m_listFilters.RemoveAll();
    return S_OK;
}

HRESULT CKsEnumFilters::EnumFilters(const GUID* pguidCategory, const GUID* pguidAliasCategory) {
    KsTraceScope trace("CKsEnumFilters::EnumFilters()");
    DestroyLists();
    if (IsNullCategory(pguidCategory)) return E_FAIL;

    platform::UniqueDeviceInfoSet devInfo(platform::SetupDiGetClassDevsA(
        pguidCategory, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!devInfo.IsValid()) {
        KsLog(4, "No devices found");
        return E_FAIL;
    }

    HRESULT hr = S_OK;
    SP_DEVICE_INTERFACE_DATA interfaceData{};
    interfaceData.cbSize = sizeof interfaceData;
    for (DWORD dwIndex = 0; platform::SetupDiEnumDeviceInterfaces(
             devInfo.get(), nullptr, pguidCategory, dwIndex, &interfaceData);
         ++dwIndex) {
        auto* pDetail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(KsAlloc(kDetailBufferSize));
        if (pDetail == nullptr) {
            KsLog(4, "Failed to allocate SP_DEVICE_INTERFACE_DETAIL_DATA structure");
            hr = E_OUTOFMEMORY;
            break;
        }
        pDetail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SP_DEVINFO_DATA devInfoData{};
        devInfoData.cbSize = sizeof devInfoData;
        bool fUse = platform::SetupDiGetDeviceInterfaceDetailA(devInfo.get(), &interfaceData,
                                                               pDetail, kDetailBufferSize, nullptr,
                                                               &devInfoData) != FALSE;

        if (fUse && !IsNullCategory(pguidAliasCategory)) {
            SP_DEVICE_INTERFACE_DATA aliasData{};
            aliasData.cbSize = sizeof aliasData;
            if (!platform::SetupDiGetDeviceInterfaceAlias(devInfo.get(), &interfaceData,
                                                          pguidAliasCategory, &aliasData)) {
                KsLog(5, "Failed to get requested DeviceInterfaceAlias");
                fUse = false;
            } else if (aliasData.Flags == 0 || (aliasData.Flags & SPINT_REMOVED) != 0) {
                KsLog(5, "DeviceInterfaceAlias disabled.");
                fUse = false;
            }
        }

        if (fUse) {
            HRESULT hrFilter = S_OK;
            CKsFilter* pFilter =
                new (std::nothrow) CKsAudRenFilter(pDetail->DevicePath, "", &hrFilter);
            bool fKept = pFilter != nullptr && SUCCEEDED(hrFilter) &&
                         SUCCEEDED(pFilter->Instantiate()) && SUCCEEDED(pFilter->EnumeratePins()) &&
                         m_listFilters.AddTail(pFilter);
            if (!fKept) {
                delete pFilter;
                KsLog(1, "Failed to create filter for %s", pDetail->DevicePath);
            }
        }
        KsFree(pDetail);
    }

    if (SUCCEEDED(hr) && m_listFilters.IsEmpty()) hr = E_FAIL;
    return hr;
}

}  // namespace kslib
