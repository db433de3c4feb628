#include "common/contract/shared_object_security.h"

#include <sddl.h>

namespace veltrano {

SharedObjectSecurity::SharedObjectSecurity() {
    m_labelled = ConvertStringSecurityDescriptorToSecurityDescriptorA(
                     kSharedObjectSddl, SDDL_REVISION_1, &m_descriptor, nullptr) != FALSE;
    if (!m_labelled) {
        m_descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(
                kSharedObjectSddlUnlabelled, SDDL_REVISION_1, &m_descriptor, nullptr)) {
            m_descriptor = nullptr;
        }
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}

SharedObjectSecurity::~SharedObjectSecurity() {
    if (m_descriptor != nullptr) LocalFree(m_descriptor);
}

}  // namespace veltrano
