// The simulated unit's download loader, fed as the host's line feeds it.
#include "sim/loader/download_loader.h"

#include <gtest/gtest.h>

#include "sim/loader/program_image.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kGood = {0x23, 0x41};
const Bytes kRefused = {0x23, 0x4E};

Bytes command(uint8_t code, Bytes params = {}) {
    Bytes b = {0x23, 0x43, code, static_cast<uint8_t>(~code)};
    b.insert(b.end(), params.begin(), params.end());
    return b;
}

// Sends bytes at 9600 baud and returns the last reply.
Bytes send(sim::DownloadLoader& l, const Bytes& b) {
    l.feed(b.data(), b.size(), 9600);
    const auto out = l.takeOutput();
    return out.empty() ? Bytes{} : out.back();
}

// A refused header or block is answered, not stored, and its acknowledgement
// refused: the host sends it again, and the second one is kept.
TEST(DownloadLoader, RefusedHeaderAndBlockDataAreNotStoredUntilSentAgain) {
    const FirmwareFile f = sim::program::generate({0}, "REV");
    const FirmwareRecord& r = f.records[0];
    const Bytes header(f.header.bytes.begin(), f.header.bytes.end());
    const Bytes address(r.bytes.begin() + 1, r.bytes.begin() + 4);
    const Bytes data(r.bytes.begin() + 4, r.bytes.begin() + 132);
    for (const char* step : {"header-data", "block-data"}) {
        SCOPED_TRACE(step);
        sim::DownloadLoader l;
        ASSERT_EQ(l.execute(std::string("refuse ") + step + " 1"), "");
        ASSERT_EQ(send(l, command(0x75)), kGood);  // erase
        const bool isHeader = std::string(step) == "header-data";
        const Bytes announce = isHeader ? command(0x20) : command(0x0C, address);
        const Bytes& body = isHeader ? header : data;
        for (int attempt = 0; attempt < 2; ++attempt) {
            ASSERT_EQ(send(l, announce), kGood);
            const Bytes echo = send(l, body);
            EXPECT_EQ(echo.size(), 128u);
            EXPECT_EQ(echo == body, attempt == 1);
            EXPECT_EQ(send(l, kGood), attempt == 0 ? kRefused : kGood);  // the host's acknowledgement
            EXPECT_EQ(isHeader ? l.header().has_value() : l.blocks().count(r.address()) == 1, attempt == 1);
        }
    }
}

TEST(DownloadLoader, RefuseTakesOnlyStepsThatHaveAnAnswer) {
    sim::DownloadLoader l;
    EXPECT_NE(l.execute("refuse rate 1").find("mute rate"), std::string::npos);
    EXPECT_EQ(l.execute("mute rate"), "");
    EXPECT_NE(l.execute("refuse nothing 1"), "");
    // A muted rate change leaves the loader at its speed.
    send(l, command(0x83, {2}));
    EXPECT_EQ(l.baud(), 9600);
}

}  // namespace
}  // namespace halvek
