#include "firmware/crc_test/crc_test_session.h"

#include "firmware/crc_test/crc_texts.h"
#include "firmware/crc_test/seed_check.h"
#include "protocol/catalogue.h"

namespace halvek {
namespace {

std::string bareName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CrcTestSession::CrcTestSession(CrcStore& store, Request request, CrcTestListener* listener)
    : store_(store), request_(std::move(request)), listener_(listener) {
    fields_.fileName = crctext::kNoFile;
}

void CrcTestSession::changed() {
    if (listener_) listener_->crcTestChanged();
}

void CrcTestSession::say(const Message& m) {
    if (listener_) listener_->crcTestMessage(m);
}

void CrcTestSession::setAlgorithm(CrcAlgorithm a) {
    if (!fields_.controlsEnabled) return;
    fields_.algorithm = a;
    changed();
}

void CrcTestSession::setSeedTexts(const std::string& low, const std::string& high) {
    fields_.lowSeed = low;
    fields_.highSeed = high;
}

void CrcTestSession::setProgramBox(bool checked) {
    if (!fields_.controlsEnabled) return;
    fields_.programBox = checked;
    fields_.programCrc = crctext::kZero;
    changed();
}

void CrcTestSession::chooseFile(const std::string& path) {
    if (!fields_.controlsEnabled) return;
    fields_.fileBox = true;
    fileChosen_ = !path.empty();
    filePath_ = path;
    fields_.fileName = fileChosen_ ? bareName(path) : crctext::kNoFile;
    fields_.fileCrc = crctext::kZero;
    fileValid_ = false;
    changed();
}

void CrcTestSession::uncheckFileBox() {
    if (!fields_.controlsEnabled) return;
    fields_.fileBox = false;
    fileChosen_ = false;
    filePath_.clear();
    fields_.fileName = crctext::kNoFile;
    fields_.fileCrc = crctext::kZero;
    fileValid_ = false;
    changed();
}

void CrcTestSession::run() {
    if (!fields_.controlsEnabled) return;
    const SeedCheck check = checkSeeds(fields_.lowSeed, fields_.highSeed, crcInfo(fields_.algorithm).wide);
    if (!check.valid) {
        fields_.lowSeed = crctext::kZero;
        changed();
        say(Message("Info", crctext::kInvalidSeed));
        return;
    }
    fields_.lowSeed = check.low;
    fields_.highSeed = check.high;
    seeds_ = check.seeds;
    runAlgorithm_ = fields_.algorithm;
    fileValid_ = false;
    if (fields_.programBox) startProgramTest();
    if (fields_.fileBox && fileChosen_) computeFileCrc();
    changed();
}

void CrcTestSession::startProgramTest() {
    fields_.status = crctext::kInProgress;
    fields_.controlsEnabled = false;
    fields_.programCrc = crctext::kZero;
    const CrcAlgorithmInfo& info = crcInfo(runAlgorithm_);
    store_.seed16 = seeds_.seed16;
    store_.seed32 = seeds_.seed32;
    if (info.wide) {
        request_(cmd::RunCrc32);
    } else {
        store_.polynomial = info.polynomial;
        request_(cmd::RunCrc16);
    }
    programRunning_ = true;
    // The first read goes out a whole period after the run command.
    tickCount_ = 0;
    timerRunning_ = true;
}

void CrcTestSession::computeFileCrc() {
    fields_.status = crctext::kInProgress;
    if (!programRunning_) fields_.controlsEnabled = false;
    std::string reason;
    if (!fileCrc(filePath_, runAlgorithm_, seeds_, fileValue_, reason)) {
        fields_.fileCrc = crctext::kZero;
        if (!programRunning_) {
            fields_.status.clear();
            fields_.controlsEnabled = true;
        }
        changed();
        say(Message("Info", crctext::kFileUnreadable + fields_.fileName, Buttons::Ok, Icon::Warning,
                    filePath_ + ": " + reason));
        return;
    }
    fileValid_ = true;
    fields_.fileCrc = formatCrc(runAlgorithm_, fileValue_);
    if (!programRunning_) {
        fields_.status = crctext::kFileDone;
        fields_.controlsEnabled = true;
    }
}

void CrcTestSession::onTick() {
    if (!timerRunning_) return;
    blinkPhase_ = !blinkPhase_;
    if (programRunning_ && ++tickCount_ >= kTicksPerRead) {
        request_(crcInfo(runAlgorithm_).wide ? cmd::ReadCrc32 : cmd::ReadCrc16);
        tickCount_ = 0;
    }
    fields_.status = blinkPhase_ ? crctext::kBlinkOff : crctext::kBlinkOn;
    changed();
}

void CrcTestSession::onProgramResult(uint8_t readCode) {
    // A late answer to a test that is over (or was never started here) changes nothing.
    if (!programRunning_) return;
    const bool wide = crcInfo(runAlgorithm_).wide;
    if (readCode != (wide ? cmd::ReadCrc32 : cmd::ReadCrc16)) return;
    programValue_ = wide ? store_.result32 : store_.result16;
    fields_.programCrc = formatCrc(runAlgorithm_, programValue_);
    if (fields_.fileBox && fileChosen_ && fileValid_)
        finish(programValue_ == fileValue_ ? crctext::kIdentical : crctext::kDifferent);
    else
        finish(crctext::kProgramDone);
}

void CrcTestSession::finish(const char* status) {
    fields_.status = status;
    programRunning_ = false;
    fields_.controlsEnabled = true;
    timerRunning_ = false;
    changed();
}

}  // namespace halvek
