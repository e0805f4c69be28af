// The firmware file reader and the download's check before it starts:
// whatever a file holds, it is either refused with a fault that names the
// file, and the download places nothing for the loader (the unit keeps its
// program), or every record the download would send is whole and checked, and
// written back it is the same file, byte for byte (a file ends with its last
// counted record).
#include <string>
#include <vector>

#include "firmware/download_session.h"
#include "firmware/firmware_file.h"
#include "fuzz_input.h"
#include "scratch_file.h"

using namespace halvek;

namespace {

struct ClosedPort : DownloadPort {
    bool open(int) override { return false; }
    void close() override {}
    std::string lastError() const override { return "closed"; }
};

struct NoLink : DownloadLink {
    uint8_t linkFlags() const override { return 0; }
    void requestDownload() override {}
    void closeValidatorPort() override {}
    void stopTimer() override {}
};

struct Quiet : DownloadListener {
    void statusShown(DownloadStatus, const std::string&, const std::string&) override {}
    void messageShown(const std::string&, const std::string&) override {}
};

// The download's own check of the file, as DOWNLOAD runs it.
bool downloadStarts(std::span<const uint8_t> content, CommBlock& block) {
    fuzz::ScratchFile file(content);
    if (!file.ok()) return false;
    ClosedPort port;
    NoLink link;
    Quiet listener;
    DownloadSession session(block, port, link, listener);
    session.chooseFile(file.path());
    return session.download() == DownloadSession::Start::Started;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string name = "FW_FUZZ.L8F";
    FirmwareFile file;
    const FirmwareFileFault fault = parseFirmwareFile({data, size}, name, file);
    CommBlock block;
    FUZZ_CHECK(downloadStarts({data, size}, block) == fault.ok, "the download judged the file otherwise");
    if (!fault.ok) {
        FUZZ_CHECK(block.transmitFree(), "the download placed a frame for a file that failed its check");
        FUZZ_CHECK(!fault.fault.empty(), "a refused file says nothing about why");
        FUZZ_CHECK(fault.message().find(name) != std::string::npos, "a refused file's fault does not name it");
        return 0;
    }
    FUZZ_CHECK(size >= kFirmwareHeaderSize, "a file shorter than its header was taken");
    FUZZ_CHECK(file.records.size() == file.header.blockCount(), "the records taken are not the ones counted");
    FUZZ_CHECK(kFirmwareHeaderSize + file.records.size() * kFirmwareRecordSize <= size,
               "more records were taken than the file holds");
    for (const FirmwareRecord& r : file.records) FUZZ_CHECK(r.checkRight(), "a record with a wrong check was taken");

    const std::vector<uint8_t> written = file.toBytes();
    FUZZ_CHECK(written.size() == size && std::equal(written.begin(), written.end(), data),
               "written back, the file is not what was read");
    FirmwareFile again;
    FUZZ_CHECK(parseFirmwareFile(written, name, again).ok, "the file written back is refused");
    FUZZ_CHECK(again.toBytes() == written, "the file written back reads differently");
    FUZZ_CHECK(again.crc32() == file.crc32(), "the file written back has another CRC");
    return 0;
}
