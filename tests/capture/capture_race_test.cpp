// The reader thread and the main thread share the capture list and the capture
// file. These run with traffic flowing; under ThreadSanitizer they also prove
// the hand-over free of data races.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "capture/protocol_capture.h"
#include "capture/view_data_view.h"
#include "e2e/link_rig.h"

namespace halvek {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(CaptureListRace, ASnapshotNeverMixesTwoExchanges) {
    CaptureList list;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        // Exchange n is n % 251 repeated, of a length that changes every time.
        for (uint32_t n = 1; n <= 20000; ++n) {
            list.reset();
            const uint8_t value = static_cast<uint8_t>(list.exchange() % 251);
            const size_t length = 1 + (n * 37) % CaptureList::kExchangeLimit;
            for (size_t i = 0; i < length; ++i) list.append(value);
        }
        done = true;
    });
    CaptureList::Entries e;
    size_t checked = 0;
    while (!done.load()) {
        uint32_t exchange = 0;
        if (!list.snapshot(e, &exchange)) continue;
        ++checked;
        size_t i = 0;
        for (; i < e.size() && e[i] != CaptureList::kEmpty; ++i)
            ASSERT_EQ(e[i], exchange % 251) << "entry " << i << " of exchange " << exchange;
        for (; i < e.size(); ++i) ASSERT_EQ(e[i], CaptureList::kEmpty) << "entry " << i << " after the end";
    }
    writer.join();
    EXPECT_GT(checked, 0u);
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(CaptureRace, OpeningAndClosingWhileTheReaderWritesKeepsEveryLineWhole) {
    const fs::path dir = fs::temp_directory_path() / ("halvek_capture_race_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        ProtocolCapture capture;  // outlives the rig's reader thread
        test::LinkRig rig;
        rig.host.block.frameTap.store(&capture);
        ASSERT_TRUE(rig.host.controller.connect());
        ViewDataView view;
        std::vector<fs::path> files;
        const auto end = std::chrono::steady_clock::now() + 1500ms;
        for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
            if (round % 3 == 0) {
                files.push_back(dir / ("capture_" + std::to_string(files.size()) + ".TXT"));
                ASSERT_TRUE(capture.open(files.back().string()));
            }
            if (round % 5 == 0) capture.setLimit(round % 2 ? 200 : capture::kLimitStep);
            // Ticks without waiting for the answer, so the reader is busy while the window works.
            rig.host.controller.onTick();
            for (int k = 0; k < 4; ++k) {
                view.update(rig.host.block.captureList, true);
                rig.host.mailbox.serveUntil(std::chrono::steady_clock::now() + 3ms);
            }
            if (round % 3 == 2) capture.close();
            capture.onTick();
        }
        rig.host.close();
        rig.host.block.frameTap.store(nullptr);
        ASSERT_GT(files.size(), 3u);

        // Every line is a command with its reply, or a reply alone; a file may end
        // in a command whose reply came after the close. The ticks do not wait for
        // the replies: on a busy machine a reply may come after the next poll
        // went out, and the line then holds both commands before it.
        const std::regex frame(
            "(T\\( \\d{8} ms\\)CMD\\[ ([0-9A-F]{2} )+\\]  :  )*(T\\( \\d{8} ms\\)MSG\\[ ([0-9A-F]{2} )+\\]\r\n)");
        size_t lines = 0;
        for (const fs::path& f : files) {
            std::string content = readFile(f);
            const size_t last = content.rfind("\r\n");
            const std::string tail = last == std::string::npos ? content : content.substr(last + 2);
            if (!tail.empty()) {
                EXPECT_TRUE(std::regex_match(tail, std::regex("(T\\( \\d{8} ms\\)CMD\\[ ([0-9A-F]{2} )+\\]  :  )+")))
                    << f << ": " << tail;
            }
            content.resize(last == std::string::npos ? 0 : last + 2);
            for (std::sregex_iterator it(content.begin(), content.end(), frame), stop; it != stop; ++it) ++lines;
            EXPECT_TRUE(std::regex_replace(content, frame, "").empty()) << f;
        }
        EXPECT_GT(lines, 0u);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace halvek
