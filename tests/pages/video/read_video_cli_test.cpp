#include <gtest/gtest.h>

#include <sstream>

#include "cli/read.h"
#include "sim/sim_server.h"

namespace halvek {
namespace {

struct CliRun {
    int rc;
    std::string out, err;
};

CliRun readVideo(sim::SimServer& sim, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"video", "--port", sim.devicePath()};
    args.insert(args.end(), extra.begin(), extra.end());
    std::ostringstream out, err;
    const int rc = cli::runRead(args, out, err);
    return {rc, out.str(), err.str()};
}

TEST(ReadVideoCli, LevelsRangesAndVerdictAsTextAndJson) {
    sim::SimServer healthy;
    ASSERT_TRUE(healthy.start());
    CliRun r = readVideo(healthy);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "white-paper video levels, L8V ranges (* out of range)");
    EXPECT_NE(r.out.find("\ntransmissive  range   64-96   64-96   64-96   64-96\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nreflective    range 176-264 176-264 176-264 176-264\n"), std::string::npos);
    EXPECT_NE(r.out.find("\nreflective    ch2   "), std::string::npos);
    EXPECT_EQ(r.out.find("reflective    ch3"), std::string::npos);  // not fitted on the L8V
    EXPECT_NE(r.out.find("\ntransmissive: OK\nreflective: OK\n"), std::string::npos);

    // The L8 with a failing transmissive blue on ch0: marked, and the verdict says so; standard frames.
    sim::SimOptions o;
    o.variant = sim::Variant::L8;
    o.failVideo = true;
    sim::SimServer failing(o);
    ASSERT_TRUE(failing.start());
    r = readVideo(failing, {"--q7"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find(", L8 ranges"), std::string::npos);
    EXPECT_NE(r.out.find("\ntransmissive  range   66-98   65-97   59-87   65-97\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("      40*"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nreflective    ch4   "), std::string::npos);
    EXPECT_NE(r.out.find("\ntransmissive:  out of range\nreflective: OK\n"), std::string::npos) << r.out;

    r = readVideo(failing, {"--json"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"variant\":\"L8\",\"transmissive\":{\"verdict\":\"out of range\",\"outOfRange\":1,"
                          "\"channels\":[{\"channel\":0,\"levels\":[{\"colour\":\"red\",",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("{\"colour\":\"blue\",\"level\":40,\"low\":59,\"high\":87,\"inRange\":false}"),
              std::string::npos);
    EXPECT_NE(r.out.find("\"reflective\":{\"verdict\":\"OK\",\"outOfRange\":0,"), std::string::npos);
    EXPECT_EQ(r.out.back(), '\n');
}

}  // namespace
}  // namespace halvek
