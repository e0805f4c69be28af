#include "uplink/tally.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace halvek::uplink {

using nlohmann::json;

namespace {

template <typename T>
T field(const json& j, const char* name, T fallback) {
    const auto it = j.find(name);
    if (it == j.end() || it->is_null()) return fallback;
    try {
        return it->get<T>();
    } catch (const json::exception&) {
        return fallback;
    }
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
        box.count += 1;
        box.value += field<int64_t>(record, "value", 0);
        const std::string cur = field<std::string>(record, "currency", "");
        if (!cur.empty()) currency = cur;
    } else if (kind == "returned") {
        returnedByReason[field<std::string>(record, "reason", "unstated")] += 1;
    } else if (kind == "in-doubt") {
        inDoubt += 1;
    } else if (kind == "decision" && field<std::string>(record, "by", "") == "default") {
        escrowDefaults += 1;
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
        t.acked = j.at("acked").get<uint64_t>();
        const json box = j.value("cashbox", json::object());
        for (const auto& [type, b] : box.items())
            t.cashbox[std::stoi(type)] = {b.at("count").get<int64_t>(), b.at("value").get<int64_t>()};
        t.currency = j.value("currency", "");
        t.inDoubt = j.value("in_doubt", int64_t{0});
        t.escrowDefaults = j.value("escrow_defaults", int64_t{0});
        t.returnedByReason = j.value("returned", std::map<std::string, int64_t>{});
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
