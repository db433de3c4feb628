#include "common/contract/shared_object_security.h"

#include <sddl.h>

namespace veltrano {

SharedObjectSecurity::SharedObjectSecurity() {
    // A failed conversion may have written to the pointer; only a success
    // leaves a descriptor to own.
    PSECURITY_DESCRIPTOR built = nullptr;
    m_labelled = ConvertStringSecurityDescriptorToSecurityDescriptorA(
                     kSharedObjectSddl, SDDL_REVISION_1, &built, nullptr) != FALSE;
    if (m_labelled) {
        m_descriptor.Reset(built);
    } else if (ConvertStringSecurityDescriptorToSecurityDescriptorA(
                   kSharedObjectSddlUnlabelled, SDDL_REVISION_1, &built, nullptr)) {
        m_descriptor.Reset(built);
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = m_descriptor.get();
    m_attributes.bInheritHandle = FALSE;
}

}  // namespace veltrano
