#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/link_rig.h"
#include "link/vla_request.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

using namespace std::chrono_literals;
using test::LinkRig;

// Connected, with the start-up reads through.
void connect(LinkRig& rig) {
    ASSERT_TRUE(rig.host.controller.connect());
    rig.ticks(LinkController::kStartupReads);
    ASSERT_TRUE(rig.host.controller.linkConnected());
    ASSERT_TRUE(rig.host.controller.diagnosticsAvailable());
}

bool sent(const LinkRig& rig, const std::string& name) {
    const auto c = rig.commands();
    return std::find(c.begin(), c.end(), name) != c.end();
}

TEST(VlaE2E, ARunEndsWithAResetAndTheVideoLevelsAreRead) {
    for (bool extended : {true, false}) {
        LinkRig rig(extended);
        LinkController& link = rig.host.controller;
        // Refused without a line, and nothing is marked.
        EXPECT_FALSE(requestVla(link));
        ASSERT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_EQ(rig.ui.messages[0].text, "No connection");
        EXPECT_FALSE(link.vlaRunning());

        connect(rig);
        link.selectPage(TabRow::Upper, page::Vla);
        rig.ui.messages.clear();
        ASSERT_TRUE(requestVla(link));
        ASSERT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_EQ(rig.ui.messages[0].title, "Warning");
        EXPECT_EQ(rig.ui.messages[0].text, "Select OK and insert QRV VLA coupon to proceed ");
        EXPECT_EQ(rig.ui.messages[0].buttons, Buttons::OkCancel);
        EXPECT_TRUE(link.vlaRunning());

        const uint32_t before = link.repliesTaken(cmd::ReadDiagn0);
        ASSERT_TRUE(rig.tickUntil([&] { return !link.vlaRunning(); }, 10s));
        EXPECT_TRUE(sent(rig, "request VLA"));
        EXPECT_EQ(link.upperPage(), page::Setup);
        EXPECT_TRUE(rig.ui.pages.back().moveTab);
        ASSERT_TRUE(rig.tickUntil([&] { return link.repliesTaken(cmd::ReadDiagn0) > before; }));
        const VideoStore& v = rig.host.stores.video;
        EXPECT_TRUE(v.received);
        EXPECT_NEAR(v.transLevel(2, 1), 80, 2);
        EXPECT_NEAR(v.reflLevel(1, 3), 220, 2);
        EXPECT_EQ(v.reflLevel(3, 0), 0);  // not fitted on the simulated L8V
        EXPECT_EQ(rig.ui.messages.size(), 1u) << (extended ? "Q7E" : "Q7");
    }
}

TEST(VlaE2E, AFailedRunEndsInhibitedWithTheWarning) {
    sim::SimOptions failing;
    failing.failVla = true;
    LinkRig rig(true, failing);
    LinkController& link = rig.host.controller;
    connect(rig);
    link.selectPage(TabRow::Lower, page::VideoTest);
    ASSERT_TRUE(requestVla(link));
    ASSERT_TRUE(rig.tickUntil([&] { return !link.vlaRunning(); }, 10s));
    ASSERT_EQ(rig.ui.messages.size(), 2u);
    EXPECT_EQ(rig.ui.messages[1].title, "Warning");
    EXPECT_EQ(rig.ui.messages[1].text, "   VLA failed.\t\t\t\t\t\r Do power reset to continue.");
    EXPECT_EQ(link.lowerPage(), page::CommandStatus);
    const auto& events = rig.host.stores.events.lines();
    EXPECT_NE(std::find(events.begin(), events.end(), "unit inhibited"), events.end());
    EXPECT_FALSE(rig.host.stores.video.received);

    // The power reset the warning asks for frees the unit; no video read follows it.
    ASSERT_EQ(rig.sim.execute("power-cycle"), "");
    ASSERT_TRUE(rig.tickUntil([&] {
        const auto& e = rig.host.stores.events.lines();
        return std::find(e.begin(), e.end(), "power on reset") != e.end() &&
               (rig.host.stores.status.received[1] & 0x01);
    }));
    EXPECT_EQ(rig.host.stores.status.received[2] & 0x80, 0);
    rig.ticks(3);
    EXPECT_FALSE(rig.host.stores.video.received);
}

TEST(VlaE2E, CancelSendsNothingAndALaterInhibitIsNoFailedVla) {
    LinkRig rig;
    LinkController& link = rig.host.controller;
    connect(rig);
    link.selectPage(TabRow::Lower, page::VideoTest);
    rig.ui.answer = Answer::Cancel;
    EXPECT_FALSE(requestVla(link));
    EXPECT_FALSE(link.vlaRunning());
    EXPECT_EQ(link.requestState(cmd::RequestVla), RequestState::Idle);

    link.request(cmd::InhibitUnit);
    ASSERT_TRUE(rig.tickUntil([&] {
        const auto& e = rig.host.stores.events.lines();
        return std::find(e.begin(), e.end(), "unit inhibited") != e.end();
    }));
    EXPECT_EQ(rig.ui.messages.size(), 1u);  // only the coupon warning
    EXPECT_EQ(link.lowerPage(), page::VideoTest);
    EXPECT_FALSE(sent(rig, "request VLA"));
}

}  // namespace
}  // namespace halvek
