// The set classifies the Windows it runs on through the version seam, and
// what it does follows: keys written, endpoints used at all.

#include "cpl/endpoint/endpoint_keys.h"
#include "endpoint/endpoint_fixture.h"
#include "sim/os/os_pretend.h"

namespace veltrano::test {
namespace {

class ClassifiedSet : public EndpointTest {
protected:
    void TearDown() override {
        ::sim::StopPretendingOs();
        EndpointTest::TearDown();
    }
    std::unique_ptr<cpl::AudioEndpointSet> SetOn(const char* pretence) {
        OsVersionFacts facts;
        EXPECT_TRUE(::sim::ParseOsPretence(pretence, &facts)) << pretence;
        ::sim::PretendOs(facts);
        return std::make_unique<cpl::AudioEndpointSet>(window.get());
    }
};

TEST_F(ClassifiedSet, Windows10Version1703WritesAllFiveKeys) {
    auto set = SetOn("10.0.15063.1.9");
    EXPECT_EQ(set->Os().kind, 10);
    EXPECT_TRUE(set->Win10Version1703());
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->ApplyPlaybackFormat(24, 96000), S_OK);
    EXPECT_EQ(sim::WrittenKeys(true, 0).size(), 5u);
}

TEST_F(ClassifiedSet, Windows7WritesTwoKeysAndBuild10240IsNot1703) {
    auto set = SetOn("6.1.7601.1.9");
    EXPECT_EQ(set->Os().kind, 4);
    EXPECT_FALSE(set->Win10Version1703());
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    ASSERT_EQ(set->ApplyPlaybackFormat(24, 96000), S_OK);
    EXPECT_EQ(sim::WrittenKeys(true, 0).size(), 2u);
    EXPECT_FALSE(SetOn("10.0.10240.1.9")->Win10Version1703());
}

TEST_F(ClassifiedSet, Windows2000UsesNoEndpoints) {
    auto set = SetOn("5.0.2195.1.0");
    EXPECT_EQ(set->Os().kind, 12);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(asio, 1);
    EXPECT_EQ(playback, 0);
    EXPECT_EQ(set->RenderCount(), 0);
}

TEST_F(ClassifiedSet, AnUnclassifiableSystemCountsAsWindows7) {
    auto set = SetOn("9x");
    EXPECT_EQ(set->Os().kind, 4);
    EXPECT_EQ(set->Os().platformFlag, 1);
    ASSERT_EQ(ProbeFirst(*set), S_OK);
    EXPECT_EQ(playback, 1);
}

}  // namespace
}  // namespace veltrano::test
