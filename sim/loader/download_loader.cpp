#include "download_loader.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "program_image.h"

namespace halvek::sim {
namespace {

constexpr uint8_t kHash = 0x23, kC = 0x43, kA = 0x41;
const DownloadLoader::Bytes kGood = {kHash, kA};

// The loader's commands: code, parameter bytes, scenario name.
struct LoaderCommand {
    uint8_t code;
    int params;
    const char* step;
};
constexpr LoaderCommand kCommands[] = {
    {0x08, 0, "connect"}, {0x00, 0, "leave"}, {0x20, 0, "header"}, {0x0C, 3, "block"},
    {0x83, 1, "rate"},    {0x75, 0, "erase"}, {0x84, 0, "finish"},
};
// Scenario names of the replies that are not to a "#C" command.
constexpr const char* kOtherSteps[] = {"header-data", "block-data", "ack"};

const LoaderCommand* find(uint8_t code) {
    for (const LoaderCommand& c : kCommands)
        if (c.code == code) return &c;
    return nullptr;
}

bool knownStep(const std::string& s) {
    for (const LoaderCommand& c : kCommands)
        if (s == c.step) return true;
    for (const char* o : kOtherSteps)
        if (s == o) return true;
    return false;
}

int baudOf(uint8_t r) { return r == 1 ? 19200 : r == 2 ? 38400 : 9600; }

}  // namespace

void DownloadLoader::reset() {
    const auto faults = faults_;
    auto sink = std::move(log);
    *this = DownloadLoader{};
    faults_ = faults;
    log = std::move(sink);
}

std::vector<DownloadLoader::Bytes> DownloadLoader::takeOutput() {
    std::vector<Bytes> out;
    out.swap(out_);
    return out;
}

bool DownloadLoader::refuseNow(const std::string& step) {
    auto it = faults_.find(step);
    if (it == faults_.end() || it->second.refuse == 0) return false;
    if (it->second.after > 0) {
        --it->second.after;
        return false;
    }
    --it->second.refuse;
    say("refusing " + step);
    return true;
}

// A loader that sends a line end after its answer (some do, after a reset or
// from a debug build): the host must take the answer and drop the rest.
bool DownloadLoader::trailNow(const std::string& step) {
    auto it = faults_.find(step);
    if (it == faults_.end() || it->second.trail == 0) return false;
    --it->second.trail;
    return true;
}

void DownloadLoader::reply(const Bytes& b) {
    out_.push_back(b);
    if (trailNow(answering_)) out_.back().insert(out_.back().end(), {0x0D, 0x0A});
}

bool DownloadLoader::muteNow(const std::string& step) {
    auto it = faults_.find(step);
    if (it == faults_.end() || it->second.mute == 0) return false;
    --it->second.mute;
    say("ignoring " + step);
    return true;
}

void DownloadLoader::feed(const uint8_t* bytes, size_t n, int hostBaud) {
    if (hostBaud != baud_) {
        // At another speed the loader's UART sees only framing errors.
        dropped_ += static_cast<uint32_t>(n);
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        if (expect_ != Expect::Command) {
            data_.push_back(bytes[i]);
            if (data_.size() == kFirmwareBlockSize) dataComplete();
            continue;
        }
        in_.push_back(bytes[i]);
        parse();
    }
}

void DownloadLoader::parse() {
    for (;;) {
        if (in_.empty()) return;
        if (in_[0] != kHash) {
            in_.erase(in_.begin());
            continue;
        }
        if (in_.size() < 2) return;
        if (in_[1] == kA) {
            in_.erase(in_.begin(), in_.begin() + 2);
            acknowledge();
            continue;
        }
        if (in_[1] != kC) {
            in_.erase(in_.begin());
            continue;
        }
        if (in_.size() < 4) return;
        const LoaderCommand* c = find(in_[2]);
        if (!c || in_[3] != static_cast<uint8_t>(~in_[2])) {
            in_.erase(in_.begin());
            continue;
        }
        if (in_.size() < static_cast<size_t>(4 + c->params)) return;
        const Bytes frame(in_.begin(), in_.begin() + 4 + c->params);
        in_.erase(in_.begin(), in_.begin() + 4 + c->params);
        if (muteNow(c->step)) continue;
        command(frame[2], frame.data() + 4);
        if (expect_ != Expect::Command) {
            // The bytes after a command that opened a data phase are its data.
            const Bytes rest = std::move(in_);
            in_.clear();
            for (uint8_t b : rest) {
                data_.push_back(b);
                if (data_.size() == kFirmwareBlockSize) dataComplete();
            }
            return;
        }
    }
}

void DownloadLoader::command(uint8_t code, const uint8_t* p) {
    if (const LoaderCommand* c = find(code)) answering_ = c->step;
    switch (code) {
        case 0x08:
            if (refuseNow("connect")) return refuse();
            say("connected");
            return reply(kGood);
        case 0x00:
            if (refuseNow("leave")) return refuse();
            reply(kGood);
            left_ = true;
            say("leaving the loader");
            return;
        case 0x83:
            baud_ = baudOf(p[0]);
            say("line speed " + std::to_string(baud_));
            return;
        case 0x75:
            if (refuseNow("erase")) return refuse();
            blocks_.clear();
            order_.clear();
            header_.reset();
            erased_ = true;
            finished_ = false;
            say("memory erased");
            return reply(kGood);
        case 0x84:
            if (refuseNow("finish")) return refuse();
            finished_ = erased_ && header_.has_value();
            say("finished: " + std::to_string(blocks_.size()) + " blocks");
            return reply(kGood);
        case 0x20:
            if (!erased_ || refuseNow("header")) return refuse();
            expect_ = Expect::HeaderData;
            data_.clear();
            say("header announced");
            return reply(kGood);
        case 0x0C:
            if (!erased_ || refuseNow("block")) return refuse();
            blockAddress_ = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
            expect_ = Expect::BlockData;
            data_.clear();
            return reply(kGood);
        default:
            return;
    }
}

void DownloadLoader::dataComplete() {
    const bool header = expect_ == Expect::HeaderData;
    expect_ = Expect::Command;
    const char* step = header ? "header-data" : "block-data";
    answering_ = step;
    if (muteNow(step)) {
        data_.clear();
        return;
    }
    if (refuseNow(step)) {
        // The host does not look at this answer: the refusal shows at the
        // acknowledgement that follows, with nothing waiting to be stored.
        reply(Bytes(kFirmwareBlockSize, 0x4E));
        pending_ = Pending::None;
        data_.clear();
        return;
    }
    pending_ = header ? Pending::Header : Pending::Block;
    pendingAddress_ = blockAddress_;
    reply(data_);  // the loader echoes what it took
    if (header) {
        FirmwareHeader h;
        std::copy(data_.begin(), data_.end(), h.bytes.begin());
        pendingHeader_ = h;
    }
    pendingData_ = data_;
    data_.clear();
}

void DownloadLoader::acknowledge() {
    answering_ = "ack";
    if (muteNow("ack")) return;
    if (pending_ == Pending::None || refuseNow("ack")) {
        refuse();
        return;
    }
    if (pending_ == Pending::Header) {
        header_ = pendingHeader_;
        say("header stored");
    } else {
        auto& slot = blocks_[pendingAddress_];
        if (std::find(order_.begin(), order_.end(), pendingAddress_) == order_.end()) order_.push_back(pendingAddress_);
        std::copy(pendingData_.begin(), pendingData_.end(), slot.begin());
    }
    pending_ = Pending::None;
    reply(kGood);
}

FirmwareFile DownloadLoader::loaded() const {
    FirmwareFile f;
    if (header_) f.header = *header_;
    for (uint32_t a : order_) f.records.push_back(program::makeRecord(a, blocks_.at(a).data()));
    return f;
}

std::string DownloadLoader::execute(const std::string& line) {
    std::istringstream in(line);
    std::string word, step;
    in >> word >> step;
    if (!knownStep(step))
        return word + " STEP: connect, leave, header, header-data, block, block-data, ack, rate, erase or finish";
    long n = 1;
    std::string t;
    if (in >> t) {
        char* end = nullptr;
        n = std::strtol(t.c_str(), &end, 10);
        if (!end || *end || n < 0 || n > 100000) return word + " STEP N: N is a count";
    }
    if (word == "refuse" && step == "rate")
        return "refuse rate: the rate change has no answer to refuse (mute rate makes the loader ignore it)";
    Fault& f = faults_[step];
    if (word == "trail") {
        f.trail = static_cast<int>(n);
        return "";
    }
    if (word == "mute") {
        f.mute = static_cast<int>(n);
        return "";
    }
    f.refuse = static_cast<int>(n);
    f.after = 0;
    if (in >> t) {
        long m = 0;
        char* end = nullptr;
        if (t != "after" || !(in >> t) || (m = std::strtol(t.c_str(), &end, 10), !end || *end) || m < 0)
            return "refuse STEP N [after M]";
        f.after = static_cast<int>(m);
    }
    return "";
}

const char* DownloadLoader::scenarioHelp() {
    return "refuse STEP N [after M] | mute STEP [N] | trail STEP [N]  (loader; STEP: connect leave header\n"
           "header-data block block-data ack erase finish, and rate for mute; trail: CR LF after the next N\n"
           "answers) | loader | loader-on-download [on|off] | power-cycle (in the loader: runs what it loaded) |\n"
           "corrupt-packet N";
}

}  // namespace halvek::sim
