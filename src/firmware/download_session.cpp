#include "firmware/download_session.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "firmware/firmware_texts.h"

namespace halvek {
namespace {

constexpr uint8_t kHash = 0x23, kC = 0x43, kA = 0x41;

// Reply bytes that complete each step's answer.
uint8_t replyLength(DownloadStep s) {
    switch (s) {
        case DownloadStep::HeaderData:
        case DownloadStep::BlockData:
            return 128;
        case DownloadStep::RateChange:
        case DownloadStep::None:
            return 0;
        default:
            return 2;
    }
}

// The loader's command byte of each "#C" step.
uint8_t commandByte(DownloadStep s) {
    switch (s) {
        case DownloadStep::Connect:
            return 0x08;
        case DownloadStep::Leave:
            return 0x00;
        case DownloadStep::HeaderSend:
            return 0x20;
        case DownloadStep::SendBlock:
            return 0x0C;
        case DownloadStep::RateChange:
            return 0x83;
        case DownloadStep::EraseAll:
            return 0x75;
        case DownloadStep::Finish:
            return 0x84;
        default:
            return 0;
    }
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int baudForRateCode(uint8_t code) {
    switch (code) {
        case 1:
            return 19200;
        case 2:
            return 38400;
        default:
            return 9600;
    }
}

void DownloadSession::show(DownloadStatus s) {
    status_ = s;
    switch (s) {
        case DownloadStatus::Ready:
            listener_.statusShown(s, fwtext::kReadyInstruction, fwtext::kReadyState);
            break;
        case DownloadStatus::FileReady:
            listener_.statusShown(s, fwtext::kFileReadyInstruction, fwtext::kFileReadyState);
            break;
        case DownloadStatus::Downloading:
            listener_.statusShown(s, fwtext::kDownloadingInstruction, fwtext::kDownloadingState);
            break;
        case DownloadStatus::Finished:
            listener_.statusShown(
                s, unitWasAnswering() ? fwtext::kFinishedConnectInstruction : fwtext::kFinishedRepeatInstruction,
                fwtext::kFinishedState);
            break;
        case DownloadStatus::Failed:
            if (portOwned_) {
                port_.close();
                portOwned_ = false;
            }
            running_ = false;
            listener_.statusShown(s, fwtext::kFailedInstruction, fwtext::kFailedState);
            break;
    }
}

void DownloadSession::fail(const std::string& text, const std::string& title) {
    failure_ = text;
    show(DownloadStatus::Failed);
    listener_.messageShown(title, text);
}

void DownloadSession::portFailed(const char* text) {
    timerRunning_ = false;
    const std::string reason = port_.lastError();
    failure_ = reason.empty() ? text : std::string(text) + " (" + reason + ")";
    show(DownloadStatus::Failed);
    listener_.messageShown(fwtext::kInfo, text);
}

// The device hung up under the open port (unplugged, or its far end gone): no
// reply can come, so waiting out the time-outs would only hide it.
void DownloadSession::lineLost() {
    timerRunning_ = false;
    const std::string device = port_.device();
    failure_ = std::string(fwtext::kLineLost) + ": " + (device.empty() ? "the device" : device) + fwtext::kLineLostWhy;
    show(DownloadStatus::Failed);
    listener_.messageShown(fwtext::kInfo, failure_);
}

void DownloadSession::open() {
    listener_.downloadEnabled(false);
    rateCode_ = kBlockRateCode;
    snapshot_ = link_.linkFlags();
    // Counted from the loader's first answer on: how soon DOWNLOAD follows the
    // connect must not decide whether that answer's trail is counted.
    strayAtStart_ = block_.downloadStrayBytes.load();
    show(DownloadStatus::Ready);
    timerRunning_ = true;
    if (snapshot_ & 0x02) {
        link_.requestDownload();
        handover_ = kHandoverTicks;
    } else if (snapshot_ & 0x01) {
        link_.closeValidatorPort();
        firstOpen_ = kFirstOpenTicks;
    } else {
        openAndPlace(9600, DownloadStep::Connect, fwtext::kRateFailed);
    }
}

void DownloadSession::openAndPlace(int baud, DownloadStep step, const char* failText) {
    if (!port_.open(baud)) {
        portFailed(failText);
        return;
    }
    portOwned_ = true;
    place(step);
}

void DownloadSession::chooseFile(const std::string& path) {
    filePath_ = path;
    fileName_ = baseName(path);
    fileChosen_ = true;
    show(DownloadStatus::FileReady);
}

void DownloadSession::chooseCancelled() { show(DownloadStatus::Ready); }

std::string DownloadSession::fileCaption() const {
    if (!fileChosen_) return fwtext::kNoFileGroup;
    std::vector<char> buf(fileName_.size() + 32);
    std::snprintf(buf.data(), buf.size(), fwtext::kFileGroupFormat, fileName_.c_str());
    std::string caption(buf.data());
    std::transform(caption.begin(), caption.end(), caption.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return caption;
}

DownloadSession::Start DownloadSession::download() {
    if (!fileChosen_) return Start::NeedFile;
    listener_.downloadEnabled(false);
    show(DownloadStatus::Downloading);
    block_.receiveMode.store(ReceiveMode::Download);
    refusals_ = timeouts_ = replyTimer_ = 0;
    // The whole file is read and checked before the loader is even asked to
    // erase: a file that fails leaves the unit's program as it was.
    const FirmwareFileFault f = readFirmwareFile(filePath_, file_);
    if (!f.ok) {
        fail(f.message(), fwtext::kInfo);
        return Start::Refused;
    }
    blocksTotal_ = blocksRemaining_ = file_.blockCount();
    blocksDone_ = 0;
    current_ = 0;
    running_ = true;
    place(DownloadStep::Connect);
    return Start::Started;
}

void DownloadSession::place(DownloadStep step) {
    replyTimer_ = kReplyTicks;
    if (step != DownloadStep::Connect && !portOwned_) return;
    if (!block_.transmitFree()) return;
    uint8_t frame[kTransmitBufferSize];
    size_t n = 0;
    switch (step) {
        case DownloadStep::HeaderData:
            std::copy(file_.header.bytes.begin(), file_.header.bytes.end(), frame);
            n = kFirmwareHeaderSize;
            break;
        case DownloadStep::BlockData: {
            const auto data = file_.records[current_].data();
            std::copy(data.begin(), data.end(), frame);
            n = kFirmwareBlockSize;
            break;
        }
        case DownloadStep::SendAck:
            frame[0] = kHash;
            frame[1] = kA;
            n = 2;
            break;
        default: {
            const uint8_t c = commandByte(step);
            frame[0] = kHash;
            frame[1] = kC;
            frame[2] = c;
            frame[3] = static_cast<uint8_t>(~c);
            n = 4;
            if (step == DownloadStep::SendBlock) {
                const auto& r = file_.records[current_].bytes;
                frame[4] = r[1];
                frame[5] = r[2];
                frame[6] = r[3];
                n = 7;
            } else if (step == DownloadStep::RateChange) {
                frame[4] = rateCode_;
                n = 5;
            }
            break;
        }
    }
    step_ = step;
    block_.downloadStep.store(static_cast<uint8_t>(step));
    block_.receiveMode.store(ReceiveMode::Download);
    block_.downloadReplyLength.store(replyLength(step));
    block_.placeFrame(frame, n);
}

bool DownloadSession::goodReply() {
    ReceiveBuffer& b = block_.receiveBuffer;
    if (b[0] != kHash || b[1] != kA) return false;
    b[0] = b[1] = 0;  // a later short reply must not pass for an acknowledgement
    return true;
}

void DownloadSession::refused(const char* text, const char* title, DownloadStep again) {
    if (++refusals_ >= kRefusalLimit) {
        fail(text, title);
        return;
    }
    place(again);
}

void DownloadSession::nextRecord() {
    current_ = blocksTotal_ - blocksRemaining_;
    --blocksRemaining_;
    show(DownloadStatus::Downloading);
    if (current_ == 0) listener_.blocksStarted();
    place(DownloadStep::SendBlock);
}

void DownloadSession::onTransferDone() {
    if (status_ == DownloadStatus::Failed) return;  // nothing more is placed after a failure
    replyTimer_ = 0;
    switch (step_) {
        case DownloadStep::Connect:
            if (!running_) {
                connected_ = true;
                listener_.connectedShown();
                listener_.downloadEnabled(true);
            } else {
                rateCode_ = kBlockRateCode;
                place(DownloadStep::RateChange);
            }
            break;
        case DownloadStep::RateChange:
            port_.close();  // drains first: the rate change must reach the loader
            portOwned_ = false;
            if (running_) {
                newBaud_ = baudForRateCode(rateCode_);
                reopenNew_ = kReopenTicks;
            } else {
                reopen9600_ = kReopenTicks;
            }
            break;
        case DownloadStep::EraseAll:
            if (goodReply())
                place(DownloadStep::HeaderSend);
            else
                refused(fwtext::kEraseFailed, fwtext::kInfo, DownloadStep::EraseAll);
            break;
        case DownloadStep::HeaderSend:
            if (goodReply())
                place(DownloadStep::HeaderData);
            else
                refused(fwtext::kHeaderFailed, fwtext::kInfoLower, DownloadStep::HeaderSend);
            break;
        case DownloadStep::HeaderData:
            place(DownloadStep::SendAck);
            break;
        case DownloadStep::SendBlock:
            if (goodReply())
                place(DownloadStep::BlockData);
            else
                refused(fwtext::kBlockFailed, fwtext::kInfo, DownloadStep::SendBlock);
            break;
        case DownloadStep::BlockData:
            place(DownloadStep::SendAck);
            ++blocksDone_;
            listener_.progressShown(blocksDone_, blocksTotal_);
            break;
        case DownloadStep::SendAck:
            if (!goodReply()) {
                refused(fwtext::kAckFailed, fwtext::kInfo,
                        blocksRemaining_ == blocksTotal_ ? DownloadStep::HeaderSend : DownloadStep::SendBlock);
            } else if (blocksRemaining_ > 0) {
                nextRecord();
            } else {
                running_ = false;
                place(rateCode_ > 0 ? (rateCode_ = 0, DownloadStep::RateChange) : DownloadStep::Finish);
            }
            break;
        case DownloadStep::Finish:
            if (unitWasAnswering()) {
                place(DownloadStep::Leave);
            } else {
                listener_.progressShown(0, blocksTotal_);
                show(DownloadStatus::Finished);
                listener_.downloadEnabled(true);
            }
            break;
        case DownloadStep::Leave:
            listener_.progressShown(0, blocksTotal_);
            show(DownloadStatus::Finished);
            break;
        case DownloadStep::None:
            break;
    }
}

void DownloadSession::timedOut() {
    if (++timeouts_ >= kTimeoutLimit) {
        timerRunning_ = false;
        failure_ = fwtext::kTimeouts;
        show(DownloadStatus::Failed);
        listener_.messageShown(fwtext::kInfo, fwtext::kTimeouts);
        return;
    }
    switch (step_) {
        case DownloadStep::HeaderSend:
        case DownloadStep::HeaderData:
            place(DownloadStep::HeaderSend);
            break;
        case DownloadStep::SendBlock:
        case DownloadStep::BlockData:
            place(DownloadStep::SendBlock);
            break;
        case DownloadStep::SendAck:
            // An acknowledgement that followed the header re-sends the header:
            // no record has been taken yet, so there is no block to send again.
            place(blocksRemaining_ == blocksTotal_ ? DownloadStep::HeaderSend : DownloadStep::SendBlock);
            break;
        default:
            replyTimer_ = kReplyTicks;
            break;
    }
}

void DownloadSession::onTick() {
    if (!timerRunning_) return;
    if (portOwned_ && block_.portLost.load() && status_ != DownloadStatus::Failed) {
        lineLost();
        return;
    }
    if (firstOpen_ == 1) {
        firstOpen_ = 0;
        openAndPlace(9600, DownloadStep::Connect, fwtext::kRateFailed);
    }
    if (handover_ == 1) {
        handover_ = 0;
        link_.closeValidatorPort();
        if (snapshot_ & 0x04) link_.stopTimer();
        block_.receiveMode.store(ReceiveMode::Download);
        refusals_ = timeouts_ = replyTimer_ = 0;
        firstOpen_ = kAfterHandoverTicks;
    }
    if (reopenNew_ == 1) {
        reopenNew_ = 0;
        openAndPlace(newBaud_, DownloadStep::EraseAll, fwtext::kRateFailed);
    }
    if (reopen9600_ == 1) {
        reopen9600_ = 0;
        openAndPlace(9600, DownloadStep::Finish, fwtext::k9600Failed);
    }
    if (!timerRunning_) return;
    if (replyTimer_ == 1 && status_ != DownloadStatus::Failed) {
        replyTimer_ = 0;
        timedOut();
    }
    for (int* c : {&replyTimer_, &firstOpen_, &handover_, &reopenNew_, &reopen9600_})
        if (*c > 0) --*c;
}

void DownloadSession::exit() {
    timerRunning_ = false;
    if (portOwned_) {
        port_.close();
        portOwned_ = false;
    }
    running_ = false;
    block_.receiveMode.store(ReceiveMode::Protocol);
}

void DownloadSession::showVerification(std::optional<uint32_t> unitCrc32, bool connected) {
    const char* instruction = connected            ? fwtext::kFinishedResumedInstruction
                              : unitWasAnswering() ? fwtext::kFinishedConnectInstruction
                                                   : fwtext::kFinishedRepeatInstruction;
    const char* state = !unitCrc32                         ? fwtext::kNotVerifiedState
                        : file_.matchesProgram(*unitCrc32) ? fwtext::kVerifiedState
                                                           : fwtext::kDifferentState;
    listener_.statusShown(status_, instruction, state);
}

}  // namespace halvek
