#include "protocol/frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/place_command.h"

namespace halvek {
namespace {

using Bytes = std::vector<uint8_t>;

struct FrameCase {
    const char* what;
    uint8_t code;
    Bytes data;
    Bytes standard;
    Bytes extended;
};

// Hand-written vectors: the codec must not be checked against itself.
// clang-format off
const FrameCase kFrames[] = {
    {"status poll", 0xCC, {}, {0x02, 0x04, 0xCC, 0x2E}, {0x02, 0x00, 0x00, 0x07, 0xCC, 0xFF, 0x2B}},
    {"read RTC", 0xD1, {}, {0x02, 0x04, 0xD1, 0x29}, {0x02, 0x00, 0x00, 0x07, 0xD1, 0xFF, 0x26}},
    {"set mode 01", 0x40, {0x01}, {0x02, 0x05, 0x40, 0x01, 0xB8}, {0x02, 0x00, 0x00, 0x08, 0x40, 0x01, 0xFF, 0xB5}},
    {"set bill enable all", 0x41, {0xFF, 0xFF}, {0x02, 0x06, 0x41, 0xFF, 0xFF, 0xB9}, {}},
    {"set bill enable all (8 bytes)", 0x41, Bytes(8, 0xFF), {},
     {0x02, 0x00, 0x00, 0x0F, 0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF7, 0xB6}},
    {"bill 1 only", 0x41, {0x00, 0x01}, {0x02, 0x06, 0x41, 0x00, 0x01, 0xB6}, {}},
    {"bill 9 only", 0x41, {0x01, 0x00}, {0x02, 0x06, 0x41, 0x01, 0x00, 0xB6}, {}},
    {"credit table", 0xE5, {0x01}, {}, {0x02, 0x00, 0x00, 0x08, 0xE5, 0x01, 0xFF, 0x10}},
};
// clang-format on

TEST(Frame, EncodesTheWorkedExamplesInBothModes) {
    for (const FrameCase& c : kFrames) {
        if (!c.standard.empty()) {
            EXPECT_EQ(encodeFrame(false, c.code, c.data), c.standard) << c.what;
        }
        if (!c.extended.empty()) {
            EXPECT_EQ(encodeFrame(true, c.code, c.data), c.extended) << c.what;
        }
    }
}

TEST(Frame, ChecksumsAddUpToZero) {
    for (const FrameCase& c : kFrames) {
        for (bool ext : {false, true}) {
            const Bytes f = encodeFrame(ext, c.code, c.data);
            EXPECT_TRUE(checksumValid(f.data(), f.size(), ext)) << c.what;
            Bytes broken = f;
            broken.back() ^= 0x01;
            EXPECT_FALSE(checksumValid(broken.data(), broken.size(), ext)) << c.what;
        }
    }
}

TEST(Frame, ReadsLengthsAndDataCounts) {
    const Bytes shortEmpty = {0x02, 0x04, 0xCC, 0x2E};
    EXPECT_EQ(frameLength(shortEmpty.data(), false), 4u);
    EXPECT_EQ(dataCount(shortEmpty.data(), false), 0u);
    EXPECT_EQ(dataOffset(false), 3u);
    EXPECT_EQ(dataOffset(true), 5u);

    // The video data reply: five blocks of 56 bytes, a 16-bit length above 255.
    const Bytes video = encodeFrame(true, 0xE7, Bytes(280, 0x50));
    ASSERT_EQ(video.size(), 287u);
    EXPECT_EQ(video[2], 0x01);
    EXPECT_EQ(video[3], 0x1F);
    EXPECT_EQ(frameLength(video.data(), true), 287u);
    EXPECT_EQ(dataCount(video.data(), true), 280u);
    EXPECT_TRUE(checksumValid(video.data(), video.size(), true));
}

TEST(Frame, BuildWritesIntoTheTransmitBufferInTheLinkMode) {
    CommBlock block;
    block.extendedMode = false;
    ASSERT_TRUE(placeCommand(block, 0xCC));
    EXPECT_EQ(block.transmitLength.load(), 4);
    EXPECT_EQ(Bytes(block.transmitBuffer.begin(), block.transmitBuffer.begin() + 4), kFrames[0].standard);

    CommBlock ext;
    const uint8_t data[] = {0x01};
    ASSERT_TRUE(placeCommand(ext, 0x40, data));
    EXPECT_EQ(ext.transmitLength.load(), 8);
    EXPECT_EQ(Bytes(ext.transmitBuffer.begin(), ext.transmitBuffer.begin() + 8), kFrames[2].extended);
}

TEST(Frame, BuildOverAWaitingFrameChangesNothing) {
    CommBlock block;
    ASSERT_TRUE(placeCommand(block, 0xD1));
    const auto before = block.transmitBuffer;
    const uint8_t data[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(placeCommand(block, 0x41, data));
    EXPECT_EQ(block.transmitBuffer, before);
    EXPECT_EQ(block.transmitLength.load(), 7);
}

}  // namespace
}  // namespace halvek
