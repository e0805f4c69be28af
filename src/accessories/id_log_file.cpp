#include "accessories/id_log_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "accessories/cassette_id.h"

namespace halvek {
namespace {

constexpr size_t kMaxLine = 255;

bool fail(std::string* error, const char* what, const std::string& path, int err) {
    if (error) *error = std::string(what) + " " + path + ": " + std::strerror(err);
    return false;
}

// Leading and trailing blanks are forgiven, as a hand-edited log may have them.
std::string_view trimmed(const std::string& s) {
    std::string_view v(s);
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
    while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
    return v;
}

}  // namespace

bool ensureIdLog(const std::string& path, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return fail(error, "cannot open the ID log", path, errno);
    if (std::fclose(f) != 0) return fail(error, "cannot write the ID log", path, errno);
    return true;
}

bool loadIdLog(const std::string& path, std::vector<std::string>& lines, std::string* error) {
    lines.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(error, "cannot read the ID log", path, errno);
    std::string line;
    bool tooLong = false;
    auto endLine = [&] {
        if (!line.empty()) lines.push_back(line);
        line.clear();
        tooLong = false;
    };
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c == '\n' || c == '\r') {
            endLine();
        } else if (line.size() < kMaxLine && !tooLong) {
            line += static_cast<char>(c);
        } else {
            tooLong = true;
        }
    }
    const bool readError = std::ferror(f);
    const int err = errno;
    std::fclose(f);
    if (readError) return fail(error, "cannot read the ID log", path, err);
    endLine();
    return true;
}

bool appendIdLog(const std::string& path, uint32_t id, std::string* error) {
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) return fail(error, "cannot open the ID log", path, errno);
    const std::string line = formatCassetteId(id) + "\r\r\n";
    const bool written = std::fwrite(line.data(), 1, line.size(), f) == line.size();
    const int err = errno;
    if (std::fclose(f) != 0 || !written) return fail(error, "cannot write the ID log", path, written ? errno : err);
    return true;
}

bool idLogHolds(const std::vector<std::string>& lines, uint32_t id) {
    for (const std::string& l : lines)
        if (parseCassetteId(trimmed(l)) == id) return true;
    return false;
}

uint32_t nextIdAfter(const std::vector<std::string>& lines) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (auto id = parseCassetteId(trimmed(*it))) return *id + 1;
    return 1;
}

}  // namespace halvek
