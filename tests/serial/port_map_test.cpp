#include "serial/port_map.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace halvek {
namespace {

TEST(PortMap, DefaultsEnvironmentAndOverrides) {
    unsetenv("HALVEK_COM2");
    PortMap map;
    EXPECT_EQ(map.pathFor(1), "/dev/ttyS0");
    EXPECT_EQ(map.pathFor(6), "/dev/ttyS5");

    setenv("HALVEK_COM2", "/dev/ttyUSB0", 1);
    EXPECT_EQ(map.pathFor(2), "/dev/ttyUSB0");
    ASSERT_TRUE(map.parseOverride("2=/dev/serial/by-id/usb-FTDI"));
    EXPECT_EQ(map.pathFor(2), "/dev/serial/by-id/usb-FTDI");  // the command line wins
    unsetenv("HALVEK_COM2");
}

TEST(PortMap, RefusesMalformedOverrides) {
    PortMap map;
    for (const char* bad : {"", "=/dev/x", "3=", "x=/dev/x", "0=/dev/x", "3/dev/x", "1000=/dev/x"})
        EXPECT_FALSE(map.parseOverride(bad)) << bad;
    EXPECT_EQ(map.pathFor(3), "/dev/ttyS2");
}

}  // namespace
}  // namespace halvek
