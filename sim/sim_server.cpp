#include "sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bounded_file.h"
#include "protocol/frame.h"
#include "serial/comm_block.h"
#include "serial/line_settings.h"

namespace halvek::sim {
namespace {

constexpr int64_t kStaleFrameMs = 200;  // a host frame that stops short is dropped after this
// With wire time, bytes are written in groups this large (18 ms at 9600 baud):
// well inside the gap after which the host takes a frame for cut short.
constexpr size_t kPaceGroupBytes = 16;

int bitsPerSecond(speed_t s) {
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        if (baudConstant(baud) == s) return baud;
    return 9600;
}

}  // namespace

SimServer::SimServer(SimOptions options) : model_(options, 0) {}

SimServer::~SimServer() { stop(); }

int64_t SimServer::nowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - epoch_).count();
}

void SimServer::setLog(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(mutex_);
    log_ = std::move(sink);
    model_.log = [this](const std::string& line) {
        if (log_) log_(line);
    };
    loader_.log = [this](const std::string& line) {
        if (log_) log_("loader: " + line);
    };
}

bool SimServer::start(std::string* error) { return runner_.start([this] { loop(); }, error); }

void SimServer::stop() { runner_.stop(); }

bool SimServer::linkTo(const std::string& path, std::string* error) { return runner_.linkTo(path, error); }

std::string SimServer::execute(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "wait") {
        long ms = 0;
        if (!(in >> ms) || ms < 0) return "wait MS";
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return "";
    }
    if (word == "help") return "";
    if (word == "loader") {
        setLoader(true);
        return "";
    }
    std::string result;
    {
        std::lock_guard lock(mutex_);
        std::string arg;
        if (word == "flow") {
            // The unit holds the line with flow control: the host's writes stop
            // (the pseudo-terminal's output is stopped, as by XOFF), or go again.
            in >> arg;
            if ((arg != "stop" && arg != "go") || ::tcflow(runner_.slave(), arg == "stop" ? TCOOFF : TCOON) != 0)
                result = "flow stop|go";
        } else if (word == "loader-on-download") {
            // On by default; "off" keeps the unit running its program instead.
            in >> arg;
            if (arg == "off" || arg == "on" || arg.empty())
                loaderOnDownload_ = arg != "off";
            else
                result = "loader-on-download [on|off]";
        } else if (word == "power-cycle" && inLoader_) {
            leaveLoader();
        } else if (DownloadLoader::isLoaderCommand(word))
            result = loader_.execute(line);
        else
            result = model_.execute(line, nowMs());
    }
    runner_.wake();
    return result;
}

bool SimServer::runScript(const std::string& path, std::string* error) {
    // A script is a page of commands: anything bigger is not one.
    static constexpr size_t kScriptLimit = 1 << 20;
    std::string text, reason;
    if (!readBoundedFile(path, kScriptLimit, "the script", text, reason)) {
        if (error) *error = reason;
        return false;
    }
    std::istringstream in(text);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const std::string complaint = execute(line);
        if (!complaint.empty()) {
            if (error) *error = path + ":" + std::to_string(n) + ": " + complaint;
            return false;
        }
    }
    return true;
}

// With wire time, the bytes leave at the line's speed, a few at a time: a long
// reply is seen arriving over the seconds it takes, as on a real line, not all
// at once after them.
void SimServer::writeOut(const Bytes& bytes, bool pace) {
    if (replyTap_) replyTap_(bytes);
    const bool paced = pace && wireTime_;
    int64_t byteUs = 0;
    if (paced) {
        termios t{};
        int bits = 10, baud = 9600;
        if (tcgetattr(runner_.master(), &t) == 0) {
            baud = bitsPerSecond(cfgetospeed(&t));
            // The pseudo-terminal drops parity; the loader's 9600 baud line is the
            // only one at that speed without it, the protocol line has even parity.
            bits = baud == 9600 ? 11 : 10;
        }
        byteUs = static_cast<int64_t>(bits) * 1000000 / baud;
    }
    const auto start = std::chrono::steady_clock::now();
    size_t done = 0;
    while (done < bytes.size() && runner_.running()) {
        size_t end = bytes.size();
        if (paced) {
            // A group goes out once its last byte would have crossed the line.
            end = std::min(bytes.size(), done + kPaceGroupBytes);
            std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<int64_t>(end) * byteUs));
        }
        while (done < end && runner_.running()) {
            const ssize_t r = ::write(runner_.master(), bytes.data() + done, end - done);
            if (r > 0) {
                done += static_cast<size_t>(r);
            } else {
                pollfd p{runner_.master(), POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }
}

void SimServer::feed(const uint8_t* bytes, size_t n, int64_t now) {
    if (pending_.empty()) pendingSince_ = now;
    pending_.insert(pending_.end(), bytes, bytes + n);
    for (;;) {
        // Resynchronise on the start byte; anything before it is line noise.
        auto stx = std::find(pending_.begin(), pending_.end(), kStx);
        pending_.erase(pending_.begin(), stx);
        if (pending_.size() < 4) return;
        const bool extended = pending_[1] == 0x00;
        const size_t length = extended ? static_cast<size_t>(pending_[2]) * 256 + pending_[3] : pending_[1];
        if (length < smallestFrameSize(extended) || length > kTransmitBufferSize) {
            pending_.erase(pending_.begin());
            continue;
        }
        if (pending_.size() < length) return;
        const Bytes frame(pending_.begin(), pending_.begin() + static_cast<long>(length));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(length));
        pendingSince_ = now;
        model_.handleFrame(frame, now);
        // The unit restarts into its loader once it has acknowledged "Download Firmware".
        if (loaderOnDownload_ && frame[codeOffset(extended)] == 0x61) {
            loader_.reset();
            inLoader_ = true;
            pending_.clear();
            if (log_) log_("restarting into the download loader");
            return;
        }
    }
}

void SimServer::setLoader(bool on) {
    {
        std::lock_guard lock(mutex_);
        loader_.reset();
        pending_.clear();
        inLoader_ = on;
        if (log_) log_(on ? "in the download loader (9600 baud, no parity)" : "running the program");
    }
    runner_.wake();
}

int SimServer::hostBaud() const {
    termios t{};
    return tcgetattr(runner_.master(), &t) == 0 ? bitsPerSecond(cfgetospeed(&t)) : 9600;
}

// The loader's side of the line. With wire time, each reply leaves when the
// host's bytes would have fully arrived and the reply itself been sent at the
// line's speed (8 data bits, 1 stop bit, no parity), measured from absolute
// times so that sleeping late does not add up.
void SimServer::serveLoader(const uint8_t* bytes, size_t n) {
    using namespace std::chrono;
    const int baud = hostBaud();
    std::vector<Bytes> out;
    bool left = false;
    {
        std::lock_guard lock(mutex_);
        loader_.feed(bytes, n, baud);
        out = loader_.takeOutput();
        left = loader_.left();
    }
    const int64_t byteUs = 10'000'000 / baud;
    const int64_t now = duration_cast<microseconds>(steady_clock::now() - epoch_).count();
    loaderRxDoneUs_ = std::max(now, loaderRxDoneUs_) + static_cast<int64_t>(n) * byteUs;
    int64_t txDone = loaderRxDoneUs_;
    for (const Bytes& b : out) {
        if (wireTime_) {
            txDone += static_cast<int64_t>(b.size()) * byteUs;
            std::this_thread::sleep_until(epoch_ + microseconds(txDone));
        }
        writeOut(b, false);
    }
    if (left) {
        std::lock_guard lock(mutex_);
        leaveLoader();
    }
}

// The unit starts its program: the one the loader received when that is
// complete; the old one when nothing was erased; none (it stays in its
// loader) when the memory was erased and the download did not finish.
void SimServer::leaveLoader() {
    if (loader_.erased() && !loader_.finished()) {
        loader_.reset();
        if (log_) log_("no program after an unfinished download: in the download loader again");
        return;
    }
    if (loader_.finished()) model_.loadProgram(loader_.loaded());
    model_.execute("power-cycle", nowMs());
    loader_.reset();
    inLoader_ = false;
    pending_.clear();
    if (log_) log_("left the loader: running the program");
}

void SimServer::setAuto(bool on) {
    {
        std::lock_guard lock(mutex_);
        auto_ = on;
        autoBaseMs_ = 3000;
        autoSpreadMs_ = 3000;
    }
    wake();
}

void SimServer::setBillEvery(int seconds) {
    {
        std::lock_guard lock(mutex_);
        auto_ = seconds > 0;
        autoBaseMs_ = static_cast<int64_t>(seconds) * 750;
        autoSpreadMs_ = static_cast<int64_t>(seconds) * 500;
        nextAutoBill_ =
            nowMs() + autoBaseMs_ + static_cast<int64_t>(random_() % static_cast<uint64_t>(autoSpreadMs_ + 1));
    }
    wake();
}

std::string SimServer::insertBill() {
    std::string result;
    {
        std::lock_guard lock(mutex_);
        if (inLoader_) return "the unit runs its download loader";
        result = insertRandomBill(nowMs());
    }
    wake();
    return result;
}

void SimServer::wake() { runner_.wake(); }

void SimServer::maybeInsertBill(int64_t now) {
    if (!auto_ || now < nextAutoBill_) return;
    nextAutoBill_ = now + autoBaseMs_ + static_cast<int64_t>(random_() % static_cast<uint64_t>(autoSpreadMs_ + 1));
    insertRandomBill(now);
}

std::string SimServer::insertRandomBill(int64_t now) {
    if (model_.phase() != ValidatorModel::Phase::Idle) return "the unit is busy with another bill";
    std::vector<int> types;
    for (const Note& n : model_.notes())
        if (model_.enabled(n.type)) types.push_back(n.type);
    if (types.empty()) return "no bill type is enabled";
    const int type = types[random_() % types.size()];
    if (type == 16) {
        model_.execute("coupon " + std::to_string(100000000000ULL + random_() % 900000000000ULL), now);
    } else {
        model_.execute("insert " + std::to_string(type), now);
    }
    return "";
}

void SimServer::loop() {
    uint8_t buf[1024];
    while (runner_.running()) {
        std::vector<Bytes> out;
        int timeout = -1;
        {
            std::lock_guard lock(mutex_);
            const int64_t now = nowMs();
            if (!pending_.empty() && now - pendingSince_ > kStaleFrameMs) pending_.clear();
            if (!inLoader_) {
                maybeInsertBill(now);
                model_.advance(now);
            }
            out = model_.takeOutput();
            int64_t next = model_.nextEventMs();
            if (auto_) next = next < 0 ? nextAutoBill_ : std::min(next, nextAutoBill_);
            if (!pending_.empty())
                next = next < 0 ? pendingSince_ + kStaleFrameMs : std::min(next, pendingSince_ + kStaleFrameMs);
            if (next >= 0) timeout = static_cast<int>(std::clamp<int64_t>(next - now + 1, 0, 60000));
        }
        for (const Bytes& b : out) writeOut(b);
        if (!out.empty()) continue;
        pollfd fds[2] = {{runner_.master(), POLLIN, 0}, {runner_.wakeFd(), POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) continue;
        if (fds[1].revents & POLLIN) runner_.clearWake();
        if (fds[0].revents & POLLIN) {
            const ssize_t r = ::read(runner_.master(), buf, sizeof buf);
            if (r > 0 && inLoader_) {
                serveLoader(buf, static_cast<size_t>(r));
            } else if (r > 0) {
                std::lock_guard lock(mutex_);
                feed(buf, static_cast<size_t>(r), nowMs());
            }
        }
    }
}

}  // namespace halvek::sim
