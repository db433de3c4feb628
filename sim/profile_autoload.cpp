// Compiled into each `_sim` driver (not into the sim library, which unit
// tests configure directly): installs the profile loader as the sim's
// first-use hook when the module loads. Only a pointer is stored here; the
// file is read later, on the first device call, outside the loader lock.

#include "sim/profile_loader.h"
#include "sim/sim.h"

namespace {

struct InstallProfileLoader {
    InstallProfileLoader() { sim::SetFirstUseHook(&sim::LoadProfileFromEnvironment); }
};

InstallProfileLoader g_installProfileLoader;

}  // namespace
