// The firmware upload stream, cut into chunks as the line delivers it, through
// the upload framer into the upload session, with ticks between. Whatever the
// unit sends: a finished upload's file is exactly the header and the packets
// sent, every packet checked; an upload that breaks off or is left creates no
// file and leaves no temporary one.
#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/upload_session.h"
#include "fuzz_input.h"
#include "serial/framers.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;

namespace {

struct QuietLink : UploadLink {
    void requestUpload() override {}
    void setUploadIdle() override {}
    void stopTimer() override {}
    void startTimer() override {}
};

struct QuietListener : UploadListener {
    void statusShown(const std::string&) override {}
    void packetLineShown(const std::string&) override {}
};

struct ToSession : NotificationSink {
    explicit ToSession(UploadSession& s) : session(s) {}
    bool deliver(Notification n) override {
        if (n == Notification::BlockReady) session.onBlockReady();
        return true;
    }
    void cancel() override {}
    UploadSession& session;
};

const std::string& scratchDir() {
    static const std::string dir = [] {
        char d[] = "/tmp/halvek-fuzz-upload-XXXXXX";
        return std::string(mkdtemp(d) ? d : "");
    }();
    return dir;
}

std::vector<std::string> filesIn(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& dir = scratchDir();
    if (dir.empty()) return 0;
    const std::string target = dir + "/FW_UP.L8F";
    FuzzInput in(data, size);

    CommBlock block;
    block.extendedMode = in.flag();
    QuietLink link;
    QuietListener listener;
    UploadSession session(block, link, listener);
    ReceiveFramers framers(block);
    ToSession sink(session);
    std::vector<uint8_t> sent;  // every byte the unit sent after the upload command

    if (!session.start(target)) return 0;
    block.awaitingReply = true;
    framers.onCommandWritten(nullptr, 0, sink);
    while (!in.done() && session.active()) {
        const uint8_t op = in.byte();
        if (op < 0xF0) {
            const auto chunk = in.bytes(op);
            sent.insert(sent.end(), chunk.begin(), chunk.end());
            const std::vector<char> none(chunk.size() + 1, 0);
            framers.feed(chunk.data(), reinterpret_cast<const bool*>(none.data()), chunk.size(), sink, 0);
        } else if (op < 0xFF) {
            for (int i = 0; i < op - 0xEF; ++i) session.onTick();
        } else {
            session.exit();
        }
    }
    if (session.active()) session.exit();

    const std::vector<std::string> left = filesIn(dir);
    if (session.completed()) {
        FUZZ_CHECK(left.size() == 1 && left[0] == "FW_UP.L8F", "a finished upload left other files or none");
        std::ifstream f(target, std::ios::binary);
        const std::vector<uint8_t> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        const size_t first = block.extendedMode ? UploadFramer::kFirstFrameExtended : UploadFramer::kFirstFrameStandard;
        const size_t packets = session.packetsTotal();
        FUZZ_CHECK(sent.size() >= first + packets * kFirmwareRecordSize, "an upload finished before its bytes came");
        std::vector<uint8_t> expected(sent.begin() + static_cast<long>(first - kFirmwareHeaderSize),
                                      sent.begin() + static_cast<long>(first + packets * kFirmwareRecordSize));
        FUZZ_CHECK(file == expected, "the uploaded file is not the header and the packets the unit sent");
        for (size_t p = 0; p < packets; ++p)
            FUZZ_CHECK(recordCheck(file.data() + kFirmwareHeaderSize + p * kFirmwareRecordSize) ==
                           file[kFirmwareHeaderSize + p * kFirmwareRecordSize + FirmwareRecord::kCheck],
                       "a packet with a wrong check was kept");
        ::unlink(target.c_str());
    } else {
        FUZZ_CHECK(left.empty(), "an upload that did not finish left a file");
    }
    return 0;
}
