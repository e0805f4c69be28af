#include "uplink/outbox.h"

namespace halvek::uplink {

void Outbox::reset(uint64_t acked) {
    mark_ = acked;
    pending_.clear();
}

bool Outbox::take(uint64_t seq, nlohmann::json record) {
    if (seq <= lastTaken()) return false;
    pending_.push_back({seq, -1, false, std::move(record)});
    return true;
}

void Outbox::sent(uint64_t seq, int mid) {
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it) {
        if (it->seq == seq) {
            it->mid = mid;
            return;
        }
    }
}

std::vector<nlohmann::json> Outbox::acknowledged(int mid) {
    std::vector<nlohmann::json> done;
    for (Entry& e : pending_) {
        if (e.mid == mid && !e.acked) {
            e.acked = true;
            break;
        }
    }
    while (!pending_.empty() && pending_.front().acked) {
        mark_ = pending_.front().seq;
        done.push_back(std::move(pending_.front().record));
        pending_.pop_front();
    }
    return done;
}

}  // namespace halvek::uplink
