#pragma once

#include <cstdint>
#include <string>

#include "firmware/firmware_writer.h"
#include "serial/comm_block.h"

namespace halvek {

// What the upload asks of the link controller: the upload runs inside the
// controller's link, on its port and line settings.
class UploadLink {
  public:
    virtual ~UploadLink() = default;
    virtual void requestUpload() = 0;  // "Upload Firmware" on a coming tick
    virtual void setUploadIdle() = 0;  // its request entry back to Idle
    virtual void stopTimer() = 0;
    virtual void startTimer() = 0;
};

// How the upload shows itself. Called on the path of every packet: an
// implementation must return at once (no modal box, no slow work).
class UploadListener {
  public:
    virtual ~UploadListener() = default;
    virtual void groupCaptionShown(const std::string&) {}
    virtual void statusShown(const std::string& text) = 0;
    virtual void packetLineShown(const std::string& text) = 0;
    virtual void progressShown(uint32_t /*done*/, uint32_t /*total*/) {}
    virtual void buttonsEnabled(bool) {}
    // The file is complete and in place; crc32 is its CRC_32 with seed 0.
    virtual void finished(const std::string& /*path*/, uint32_t /*crc32*/) {}
    // The upload broke off; the target was not created or not changed.
    virtual void aborted(const std::string& /*reason*/) {}
};

// "PATH written, CRC_32 1A2B3C4D": what a finished upload tells of its file.
std::string uploadedFileDetail(const std::string& path, uint32_t crc32);

// The firmware upload: the header frame and the 133-byte packets the reader
// thread collects are checked and written as they arrive (BlockReady), into
// a temporary file that becomes the target only after the last good packet.
// The owner's 100 ms ticks give up on a unit that stops sending.
class UploadSession {
  public:
    static constexpr int kSilenceTicks = 50;

    UploadSession(CommBlock& block, UploadLink& link, UploadListener& listener)
        : block_(block), link_(link), listener_(listener) {}

    // "Start Upload" with the chosen file (empty: the dialog gave no name).
    bool start(const std::string& path);
    void onBlockReady();
    void onTick();
    // "Exit": an upload under way is given up, its temporary file removed.
    void exit();

    bool active() const { return active_; }
    bool headerReceived() const { return headerReceived_; }
    uint32_t packetsReceived() const { return packetsReceived_; }
    uint32_t packetsTotal() const { return packetsTotal_; }
    bool completed() const { return completed_; }
    uint32_t crc32() const { return crc32_; }
    const std::string& failure() const { return failure_; }
    const std::string& path() const { return path_; }

  private:
    void abort(const std::string& status, const std::string& reason);
    void endTransfer();
    void forgetStream();

    CommBlock& block_;
    UploadLink& link_;
    UploadListener& listener_;
    FirmwareWriter writer_;
    std::string path_, name_;
    bool active_ = false;
    bool headerReceived_ = false;
    bool toggle_ = false;  // false: the packet just completed is in buffer A
    bool completed_ = false;
    uint32_t packetsReceived_ = 0;
    uint32_t packetsTotal_ = 0;
    uint32_t crc32_ = 0;
    int silentTicks_ = 0;
    std::string failure_;
};

}  // namespace halvek
