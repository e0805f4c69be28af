#include "firmware/upload_session.h"

#include <cstdio>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/firmware_texts.h"

namespace halvek {
namespace {

std::string format(const char* f, const std::string& s) {
    std::vector<char> buf(s.size() + 64);
    std::snprintf(buf.data(), buf.size(), f, s.c_str());
    return buf.data();
}

std::string format(const char* f, long v) {
    char buf[96];
    std::snprintf(buf, sizeof buf, f, static_cast<int>(v));
    return buf;
}

}  // namespace

std::string uploadedFileDetail(const std::string& path, uint32_t crc32) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", crc32);
    return path + " written, CRC_32 " + hex;
}

bool UploadSession::start(const std::string& path) {
    listener_.buttonsEnabled(false);
    if (path.empty()) {
        listener_.statusShown(fwtext::kUploadCanceled);
        // Nothing is under way: the buttons come back, or the window could never be left.
        listener_.buttonsEnabled(true);
        return false;
    }
    headerReceived_ = toggle_ = completed_ = false;
    packetsReceived_ = packetsTotal_ = 0;
    silentTicks_ = 0;
    failure_.clear();
    path_ = path;
    const size_t slash = path.find_last_of('/');
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    if (!writer_.begin(path)) {
        failure_ = writer_.error();
        listener_.statusShown(failure_);
        listener_.buttonsEnabled(true);
        return false;
    }
    active_ = true;
    listener_.groupCaptionShown(format(fwtext::kUploadFileGroupFormat, name_));
    listener_.statusShown(fwtext::kUploading);
    forgetStream();
    block_.receiveMode.store(ReceiveMode::Upload);
    link_.requestUpload();
    return true;
}

void UploadSession::forgetStream() {
    // Whatever still comes of this stream is dropped by the reader until the
    // next upload command is written.
    block_.upload.firstFrameLength.store(0);
    block_.upload.firstFrameDone.store(false);
}

void UploadSession::endTransfer() {
    forgetStream();
    block_.downloadReplyLength.store(0);
    block_.receiveMode.store(ReceiveMode::Protocol);
    block_.transmitLength.store(0, std::memory_order_release);
    active_ = false;
    link_.startTimer();
    link_.setUploadIdle();
    listener_.buttonsEnabled(true);
}

void UploadSession::abort(const std::string& status, const std::string& reason) {
    writer_.abandon();
    failure_ = reason;
    listener_.statusShown(status);
    // The part received is thrown away with the temporary file: say what became of the target.
    listener_.packetLineShown(name_ + (writer_.targetExisted() ? " not changed" : " not created"));
    endTransfer();
    listener_.aborted(reason);
}

void UploadSession::onBlockReady() {
    if (!active_) return;
    silentTicks_ = 0;
    const UploadBuffers& up = block_.upload;
    if (!headerReceived_) {
        link_.stopTimer();
        headerReceived_ = true;
        const size_t length = up.firstFrameLength.load();
        const size_t offset = length >= kFirmwareHeaderSize ? length - kFirmwareHeaderSize : 0;
        FirmwareHeader header;
        std::copy(up.firstFrame.begin() + static_cast<long>(offset),
                  up.firstFrame.begin() + static_cast<long>(offset + kFirmwareHeaderSize), header.bytes.begin());
        if (!writer_.write(header.bytes.data(), header.bytes.size())) {
            abort(writer_.error(), writer_.error());
            return;
        }
        packetsTotal_ = header.uploadPacketCount();
        packetsReceived_ = 0;
        listener_.statusShown(format(fwtext::kUploadingPacketsFormat, static_cast<long>(packetsTotal_)));
    } else {
        const auto& packet = toggle_ ? up.blockB : up.blockA;
        if (recordCheck(packet.data()) != packet[FirmwareRecord::kCheck]) {
            abort(fwtext::kChecksumError, "packet " + std::to_string(packetsReceived_ + 1) + " of " +
                                              std::to_string(packetsTotal_) + " failed its check");
            return;
        }
        if (!writer_.write(packet.data(), packet.size())) {
            abort(writer_.error(), writer_.error());
            return;
        }
        toggle_ = !toggle_;
        ++packetsReceived_;
        listener_.progressShown(packetsReceived_, packetsTotal_);
    }
    if (packetsReceived_ == packetsTotal_) {
        if (!writer_.commit()) {
            abort(writer_.error(), writer_.error());
            return;
        }
        crc32_ = writer_.crc32();
        completed_ = true;
        listener_.statusShown(fwtext::kUploadFinished);
        listener_.packetLineShown(fwtext::kAllPackets);
        endTransfer();
        listener_.finished(path_, crc32_);
    } else {
        listener_.packetLineShown(
            format(fwtext::kPacketsLeftFormat, static_cast<long>(packetsTotal_ - packetsReceived_)));
    }
}

void UploadSession::onTick() {
    if (!active_) return;
    if (++silentTicks_ >= kSilenceTicks)
        abort(fwtext::kUploadSilent, headerReceived_
                                         ? "the validator stopped sending after packet " +
                                               std::to_string(packetsReceived_) + " of " + std::to_string(packetsTotal_)
                                         : "the validator sent no header");
}

void UploadSession::exit() {
    forgetStream();
    if (active_) {
        writer_.abandon();
        active_ = false;
        link_.startTimer();
    }
    block_.receiveMode.store(ReceiveMode::Protocol);
    link_.setUploadIdle();
}

}  // namespace halvek
