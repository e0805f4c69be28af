#include "link/money.h"

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
    }
    return "?";
}

}  // namespace halvek
