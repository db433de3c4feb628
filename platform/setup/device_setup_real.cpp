#include "platform/setup/setup_real.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include <vector>

#include "common/unique_resource.h"

namespace platform::setup {

namespace {

class RealDeviceSetup final : public DeviceSetup {
public:
    ~RealDeviceSetup() override { CloseDeviceSet(); }

    bool OpenUsbDeviceSet() override {
        CloseDeviceSet();
        m_set.Reset(SetupDiGetClassDevsA(nullptr, "USB", nullptr, DIGCF_ALLCLASSES));
        return m_set.IsValid();
    }

    bool EnumDevice(DWORD index) override {
        if (!m_set.IsValid()) return false;
        SP_DEVINFO_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInfo(m_set.get(), index, &data)) return false;
        if (m_devices.size() <= index) m_devices.resize(index + 1);
        m_devices[index] = data;
        return true;
    }

    bool GetFirstHardwareId(DWORD index, std::string* id) override {
        std::vector<char> buffer;
        if (!ReadProperty(index, SPDRP_HARDWAREID, &buffer)) return false;
        id->assign(buffer.data());  // the first string of the list
        return true;
    }

    bool GetDriverKeyName(DWORD index, std::string* name) override {
        std::vector<char> buffer;
        if (!ReadProperty(index, SPDRP_DRIVER, &buffer)) return false;
        name->assign(buffer.data());
        return true;
    }

    bool RemoveDevice(DWORD index) override {
        SP_DEVINFO_DATA* data = Device(index);
        return data && SetupDiCallClassInstaller(DIF_REMOVE, m_set.get(), data);
    }

    bool UninstallOemInf(const std::string& infName) override {
        return SetupUninstallOEMInfA(infName.c_str(), SUOI_FORCEDELETE, nullptr) != FALSE;
    }

    bool InstallInfSectionFiles(const std::string& infPath, const std::string& section,
                                DWORD copyStyle) override {
        HINF inf = SetupOpenInfFileA(infPath.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
        if (inf == INVALID_HANDLE_VALUE) return false;
        HSPFILEQ queue = SetupOpenFileQueue();
        if (queue != INVALID_HANDLE_VALUE) {
            SetupInstallFilesFromInfSectionA(inf, nullptr, queue, section.c_str(), nullptr, copyStyle);
            void* context = SetupInitDefaultQueueCallback(nullptr);
            SetupCommitFileQueueA(nullptr, queue, SetupDefaultQueueCallbackA, context);
            if (context) SetupTermDefaultQueueCallback(context);
            SetupCloseFileQueue(queue);
        }
        SetupCloseInfFile(inf);
        return true;
    }

    bool CopyOemInf(const std::string& infPath) override {
        return SetupCopyOEMInfA(infPath.c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr, nullptr) !=
               FALSE;
    }

    bool ReenumerateRoot() override {
        DEVINST root = 0;
        if (CM_Locate_DevNodeA(&root, nullptr, CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) return false;
        return CM_Reenumerate_DevNode(root, 0) == CR_SUCCESS;
    }

    void CloseDeviceSet() override {
        m_set.Reset();
        m_devices.clear();
    }

private:
    SP_DEVINFO_DATA* Device(DWORD index) {
        if (!m_set.IsValid() || index >= m_devices.size() || m_devices[index].cbSize == 0) {
            return nullptr;
        }
        return &m_devices[index];
    }

    // A string property, always terminated (twice, for lists) whatever the
    // device reported.
    bool ReadProperty(DWORD index, DWORD property, std::vector<char>* buffer) {
        SP_DEVINFO_DATA* data = Device(index);
        if (!data) return false;
        DWORD type = 0;
        DWORD size = 0;
        SetupDiGetDeviceRegistryPropertyA(m_set.get(), data, property, &type, nullptr, 0, &size);
        if (size == 0 || size > 64 * 1024) return false;
        buffer->assign(size + 2, '\0');
        if (!SetupDiGetDeviceRegistryPropertyA(m_set.get(), data, property, &type,
                                               reinterpret_cast<BYTE*>(buffer->data()), size, nullptr)) {
            return false;
        }
        return type == REG_SZ || type == REG_MULTI_SZ;
    }

    using DeviceSetTraits =
        veltrano::ReleasedBy<HDEVINFO, &::SetupDiDestroyDeviceInfoList, veltrano::kAllBitsSet>;
    veltrano::UniqueResource<DeviceSetTraits> m_set;
    std::vector<SP_DEVINFO_DATA> m_devices;
};

}  // namespace

std::unique_ptr<DeviceSetup> MakeRealDeviceSetup() { return std::make_unique<RealDeviceSetup>(); }

}  // namespace platform::setup
