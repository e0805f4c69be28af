#include "money/money_record.h"

namespace halvek {

const char* moneyKindName(MoneyKind kind) {
    switch (kind) {
        case MoneyKind::Escrow:
            return "escrow";
        case MoneyKind::Decision:
            return "decision";
        case MoneyKind::Sent:
            return "sent";
        case MoneyKind::Stacked:
            return "stacked";
        case MoneyKind::Returned:
            return "returned";
        case MoneyKind::Credit:
            return "credit";
        case MoneyKind::InDoubt:
            return "in-doubt";
    }
    return "?";
}

bool moneyKindFromName(std::string_view name, MoneyKind& kind) {
    for (int k = 0; k <= static_cast<int>(MoneyKind::InDoubt); ++k) {
        if (name == moneyKindName(static_cast<MoneyKind>(k))) {
            kind = static_cast<MoneyKind>(k);
            return true;
        }
    }
    return false;
}

}  // namespace halvek
