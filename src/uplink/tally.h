#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace halvek::uplink {

// What the broker has acknowledged so far: the last record's number and the
// sums drawn from the records up to it. Counted only when a record is
// acknowledged, so that a record sent twice is never counted twice.
struct Tally {
    uint64_t acked = 0;
    struct Box {
        int64_t count = 0;
        int64_t value = 0;
    };
    std::map<int, Box> cashbox;  // stacked bills by type
    std::string currency;
    int64_t inDoubt = 0;
    int64_t escrowDefaults = 0;  // decisions taken by default because nobody decided in time
    std::map<std::string, int64_t> returnedByReason;

    // Counts one acknowledged money record (the service's EVENT, "seq" and "kind" in it).
    void count(const nlohmann::json& record);

    nlohmann::json toJson() const;
    // False with the reason when the text is not a tally this program wrote.
    static bool fromJson(const nlohmann::json& j, Tally& out, std::string& error);
};

// The tally kept on disk: written to a temporary file, forced to the disk and
// renamed over the old one, so that a crash leaves the old or the new, never half.
class StateFile {
  public:
    explicit StateFile(std::string path) : path_(std::move(path)) {}
    const std::string& path() const { return path_; }
    // A missing file is a fresh start (an empty tally); an unreadable or damaged
    // one is an error, never taken for a fresh start (that would send every
    // record again and count the cash box twice).
    bool load(Tally& out, std::string& error) const;
    bool save(const Tally& tally, std::string& error) const;

  private:
    std::string path_;
};

}  // namespace halvek::uplink
