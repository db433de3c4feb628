#pragma once
// The one security descriptor of the named objects the ASIO drivers and the
// control panel share (the status block). The panel runs elevated; the
// drivers run inside ordinary, unelevated audio programs. Whichever side
// creates an object first, the other must open it for reading and writing,
// but an object created with an elevated token's defaults names only that
// token in its DACL and carries a high label with no-write-up, so a medium
// process of the same user could not write it. Both sides therefore create
// with this descriptor: read and write for the interactive user, SYSTEM and
// the administrators, and a medium label, so that sandboxed low-integrity
// processes still cannot write settings or requests.

#include <windows.h>

#include "common/win_owners.h"

namespace veltrano {

// The descriptor in security descriptor definition language.
inline constexpr char kSharedObjectSddl[] =
    "D:P(A;;GRGW;;;IU)(A;;GRGW;;;SY)(A;;GRGW;;;BA)S:(ML;;NW;;;ME)";
// The same without the label, for systems before integrity levels, which
// reject the label entry.
inline constexpr char kSharedObjectSddlUnlabelled[] =
    "D:P(A;;GRGW;;;IU)(A;;GRGW;;;SY)(A;;GRGW;;;BA)";

class SharedObjectSecurity {
public:
    SharedObjectSecurity();
    SharedObjectSecurity(const SharedObjectSecurity&) = delete;
    SharedObjectSecurity& operator=(const SharedObjectSecurity&) = delete;

    // For the Create* call; null (the system's defaults) only when neither
    // form could be built.
    SECURITY_ATTRIBUTES* Attributes() { return m_descriptor ? &m_attributes : nullptr; }
    PSECURITY_DESCRIPTOR Descriptor() const { return m_descriptor.get(); }
    // The descriptor carries the medium label.
    bool Labelled() const { return m_labelled; }

private:
    // Built by the system, given back with LocalFree.
    UniqueLocalBlock m_descriptor;
    SECURITY_ATTRIBUTES m_attributes{};
    bool m_labelled = false;
};

}  // namespace veltrano
