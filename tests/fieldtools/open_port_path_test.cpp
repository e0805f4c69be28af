#include <gtest/gtest.h>

#include "link/controller_host.h"
#include "link/user_interface.h"
#include "support/pty_pair.h"

namespace halvek {
namespace {

// A replugged adapter is opened again wherever it turned up, while its COM entry
// still names the old node: what the line is open on is the device to look at.
TEST(OpenPortPath, IsTheDeviceTheLineIsOpenOnNotWhatTheEntryNamesNow) {
    test::PtyPair pty;
    NullUserInterface ui;
    ControllerHost host(ui);
    host.ports.set(1, pty.slavePath());
    EXPECT_EQ(host.controller.openPortPath(), pty.slavePath());
    ASSERT_TRUE(host.controller.connect());
    host.ports.set(1, "/dev/halvek-renamed");
    EXPECT_EQ(host.controller.openPortPath(), pty.slavePath());
    EXPECT_EQ(host.controller.portPath(), "/dev/halvek-renamed");
    host.close();
    EXPECT_EQ(host.controller.openPortPath(), "/dev/halvek-renamed") << "closed: the entry's device";
}

}  // namespace
}  // namespace halvek
