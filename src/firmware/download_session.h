#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "firmware/firmware_file.h"
#include "serial/comm_block.h"

namespace halvek {

// The step code stored with every frame placed for the download loader; it
// selects how the reply is handled.
enum class DownloadStep : uint8_t {
    None = 0,
    Connect = 1,
    Leave = 21,
    HeaderSend = 24,
    HeaderData = 25,
    SendBlock = 26,
    BlockData = 27,
    SendAck = 28,
    RateChange = 30,
    EraseAll = 35,
    Finish = 36,
};

enum class DownloadStatus : uint8_t { Ready = 1, FileReady = 2, Downloading = 3, Finished = 4, Failed = 5 };

// The validator's line as the download uses it: opened without parity at the
// speed asked, closed only once what was written has left.
class DownloadPort {
  public:
    virtual ~DownloadPort() = default;
    virtual bool open(int baud) = 0;
    virtual void close() = 0;
    virtual std::string lastError() const = 0;
    // The device, as messages name it ("" when there is no name to give).
    virtual std::string device() const { return {}; }
};

// What the download asks of the link controller when it takes the line over.
class DownloadLink {
  public:
    virtual ~DownloadLink() = default;
    virtual uint8_t linkFlags() const = 0;  // bit 0 port open, bit 1 answering, bit 2 polling
    virtual void requestDownload() = 0;     // "Download Firmware" on a coming tick, or says why not
    virtual void closeValidatorPort() = 0;
    virtual void stopTimer() = 0;
};

// How the download shows itself.
class DownloadListener {
  public:
    virtual ~DownloadListener() = default;
    virtual void statusShown(DownloadStatus status, const std::string& instruction, const std::string& state) = 0;
    virtual void connectedShown() {}
    virtual void downloadEnabled(bool) {}
    virtual void progressShown(uint32_t /*done*/, uint32_t /*total*/) {}
    // The first block is being sent: the pauses before it (rate change,
    // erase, header) are behind, so a rate counted from here is the wire's.
    virtual void blocksStarted() {}
    virtual void messageShown(const std::string& title, const std::string& text) = 0;
};

// The firmware download: a step machine over the comm block, driven by the
// owner's 100 ms ticks and by every TransferDone the reader thread delivers.
// Each next frame is placed from the delivery of the reply before it.
class DownloadSession {
  public:
    static constexpr int kReplyTicks = 27;
    static constexpr int kRefusalLimit = 100;
    static constexpr int kTimeoutLimit = 100;
    static constexpr int kHandoverTicks = 35;
    static constexpr int kFirstOpenTicks = 10;
    static constexpr int kAfterHandoverTicks = 5;
    static constexpr int kReopenTicks = 5;
    static constexpr uint8_t kBlockRateCode = 2;

    DownloadSession(CommBlock& block, DownloadPort& port, DownloadLink& link, DownloadListener& listener)
        : block_(block), port_(port), link_(link), listener_(listener) {}

    // The window has opened: takes the line over (through the controller when it polls).
    void open();
    // DOWNLOAD. Without a chosen file it returns NeedFile: the owner asks for
    // one, then calls chooseFile() (or chooseCancelled()) and download() again.
    enum class Start { NeedFile, Started, Refused };
    Start download();
    void chooseFile(const std::string& path);
    void chooseCancelled();
    void onTick();
    void onTransferDone();
    // EXIT: gives the line back (closed) and leaves download mode.
    void exit();
    // The unit's program checksum read back after the download, against the
    // file's; nothing when the unit did not give it. connected: the controller
    // has the line again and the unit answers it, so EXIT is all that is left.
    void showVerification(std::optional<uint32_t> unitCrc32, bool connected);

    DownloadStatus status() const { return status_; }
    bool timerRunning() const { return timerRunning_; }
    bool connected() const { return connected_; }
    bool running() const { return running_; }
    bool portOwned() const { return portOwned_; }
    bool fileChosen() const { return fileChosen_; }
    const std::string& fileName() const { return fileName_; }
    std::string fileCaption() const;
    uint32_t blocksTotal() const { return blocksTotal_; }
    uint32_t blocksDone() const { return blocksDone_; }
    int refusals() const { return refusals_; }
    int timeouts() const { return timeouts_; }
    int replyTimer() const { return replyTimer_; }
    DownloadStep lastStep() const { return step_; }
    uint32_t fileCrc32() const { return file_.crc32(); }
    const FirmwareFile& file() const { return file_; }
    bool unitWasAnswering() const { return snapshot_ & 0x02; }
    const std::string& failure() const { return failure_; }
    // Bytes the loader sent after a reply was whole, dropped, since the window opened.
    uint32_t strayBytes() const { return block_.downloadStrayBytes.load() - strayAtStart_; }

  private:
    void place(DownloadStep step);
    void show(DownloadStatus s);
    void fail(const std::string& text, const std::string& title);
    void portFailed(const char* text);
    void lineLost();
    void openAndPlace(int baud, DownloadStep step, const char* failText);
    bool goodReply();
    void refused(const char* text, const char* title, DownloadStep again);
    void timedOut();
    void nextRecord();

    CommBlock& block_;
    DownloadPort& port_;
    DownloadLink& link_;
    DownloadListener& listener_;

    uint8_t snapshot_ = 0;
    bool portOwned_ = false;
    bool running_ = false;
    bool timerRunning_ = false;
    bool connected_ = false;
    uint8_t rateCode_ = kBlockRateCode;
    int newBaud_ = 9600;
    bool fileChosen_ = false;
    std::string filePath_, fileName_;
    FirmwareFile file_;
    uint32_t blocksTotal_ = 0, blocksRemaining_ = 0, blocksDone_ = 0;
    uint32_t current_ = 0;  // index of the record being sent
    int refusals_ = 0, timeouts_ = 0;
    int replyTimer_ = 0;
    int firstOpen_ = 0, handover_ = 0, reopenNew_ = 0, reopen9600_ = 0;
    DownloadStep step_ = DownloadStep::None;
    DownloadStatus status_ = DownloadStatus::Ready;
    std::string failure_;
    uint32_t strayAtStart_ = 0;
};

int baudForRateCode(uint8_t code);

}  // namespace halvek
