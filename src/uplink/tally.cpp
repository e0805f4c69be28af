#include "uplink/tally.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <type_traits>

namespace halvek::uplink {

using nlohmann::json;

namespace {

// A field of a record, or the fallback when it is missing or of another type.
// A number with a fraction is no whole number: it never reads as one.
template <typename T>
T field(const json& j, const char* name, T fallback) {
    const auto it = j.find(name);
    if (it == j.end()) return fallback;
    if constexpr (std::is_integral_v<T>) {
        if (!it->is_number_integer()) return fallback;
        // A whole number past what T holds is no bill type or value either.
        if (it->is_number_unsigned() ? it->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<T>::max())
                                     : it->get<int64_t>() < static_cast<int64_t>(std::numeric_limits<T>::min()))
            return fallback;
    } else {
        if (!it->is_string()) return fallback;
    }
    return it->get<T>();
}

// The sums are kept from records of the service; one absurd value must not
// wrap them over into a negative cash box.
int64_t plus(int64_t a, int64_t b) {
    int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

// A whole number of the state file; anything else there is damage.
int64_t wholeNumber(const json& j) {
    if (!j.is_number_integer() || (j.is_number_unsigned() && j.get<uint64_t>() > INT64_MAX))
        throw std::runtime_error("a count that is not a whole number");
    return j.get<int64_t>();
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void Tally::count(const json& record) {
    const std::string kind = field<std::string>(record, "kind", "");
    if (kind == "stacked") {
        Box& box = cashbox[field<int>(record, "type", 0)];
        box.count = plus(box.count, 1);
        box.value = plus(box.value, field<int64_t>(record, "value", 0));
        const std::string cur = field<std::string>(record, "currency", "");
        if (!cur.empty()) currency = cur;
    } else if (kind == "returned") {
        int64_t& returned = returnedByReason[field<std::string>(record, "reason", "unstated")];
        returned = plus(returned, 1);
    } else if (kind == "in-doubt") {
        inDoubt = plus(inDoubt, 1);
    } else if (kind == "decision" && field<std::string>(record, "by", "") == "default") {
        escrowDefaults = plus(escrowDefaults, 1);
    }
}

json Tally::toJson() const {
    json box = json::object();
    for (const auto& [type, b] : cashbox) box[std::to_string(type)] = {{"count", b.count}, {"value", b.value}};
    return {{"acked", acked},
            {"cashbox", box},
            {"currency", currency},
            {"in_doubt", inDoubt},
            {"escrow_defaults", escrowDefaults},
            {"returned", returnedByReason}};
}

bool Tally::fromJson(const json& j, Tally& out, std::string& error) {
    try {
        Tally t;
        // A negative or fractional mark would skip records or send them all again.
        if (!j.is_object() || !j.contains("acked") || !j["acked"].is_number_unsigned())
            throw std::runtime_error("no acknowledged record number");
        t.acked = j["acked"].get<uint64_t>();
        const json box = j.value("cashbox", json::object());
        for (const auto& [type, b] : box.items())
            t.cashbox[std::stoi(type)] = {wholeNumber(b.at("count")), wholeNumber(b.at("value"))};
        t.currency = j.value("currency", "");
        t.inDoubt = wholeNumber(j.value("in_doubt", json(0)));
        t.escrowDefaults = wholeNumber(j.value("escrow_defaults", json(0)));
        const json returned = j.value("returned", json::object());
        for (const auto& [reason, n] : returned.items()) t.returnedByReason[reason] = wholeNumber(n);
        out = std::move(t);
        return true;
    } catch (const std::exception& e) {
        error = std::string("not a state this program wrote (") + e.what() + ")";
        return false;
    }
}

bool StateFile::load(Tally& out, std::string& error) const {
    std::ifstream in(path_);
    if (!in) {
        if (errno == ENOENT) {
            out = Tally{};
            return true;
        }
        error = "state file " + path_ + ": " + std::strerror(errno);
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    const json j = json::parse(text.str(), nullptr, false);
    std::string why;
    if (j.is_discarded() || !Tally::fromJson(j, out, why)) {
        error = "state file " + path_ + ": " + (why.empty() ? "not JSON" : why) +
                "; move it away to start again from the first record the service holds";
        return false;
    }
    return true;
}

bool StateFile::save(const Tally& tally, std::string& error) const {
    const std::string temp = path_ + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
    if (fd < 0) {
        error = "state file " + temp + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, tally.toJson().dump() + "\n") && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ::close(fd);
    if (!written) {
        error = "state file " + temp + ": " + std::strerror(writeErrno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        error = "state file " + path_ + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is made lasting by forcing the folder to the disk.
    const int dir = ::open(folderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace halvek::uplink
