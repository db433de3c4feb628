// A `_sim` module loads its device profile by itself at the first device
// call. This program links the loader the way the `_sim` drivers do, so it
// holds only this test: the profile is read once per process.

#include "simdll/simdll_support.h"

namespace simdll {
namespace {

TEST(SimAutoload, FirstDiscoveryReadsTheProfileNamedInTheEnvironment) {
    const std::string profile = WriteProfile("[device]\ncapture = 0\nproduct_id = 0005\n");
    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", profile.c_str());
    const std::vector<std::string> paths = DiscoveredPaths(KSCATEGORY_AUDIO);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(paths[0].find("&pid_0005&"), std::string::npos) << paths[0];
    EXPECT_TRUE(DiscoveredPaths(KSCATEGORY_CAPTURE).empty());
    // Read once: a later change of the variable does not reconfigure a
    // device the driver may be streaming to.
    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", nullptr);
    EXPECT_TRUE(DiscoveredPaths(KSCATEGORY_CAPTURE).empty());
    DeleteFileA(profile.c_str());
}

}  // namespace
}  // namespace simdll
