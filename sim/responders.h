#pragma once

#include <cstdint>
#include <span>

#include "sim_data.h"

namespace halvek::sim {

class ValidatorModel;

// One command as the unit received it.
struct Request {
    uint8_t code;
    const Bytes& data;
    int64_t now;
    // Data byte I, or 0 when the host sent fewer.
    uint8_t at(size_t i) const { return i < data.size() ? data[i] : 0; }
};

using Respond = void (*)(ValidatorModel& unit, const Request& request);

// How the unit answers one command code. A command the unit learns is one row
// of the table in responders.cpp; a code without a row is answered "unsupported".
struct Responder {
    uint8_t code;
    Respond respond;
};

std::span<const Responder> responders();
// nullptr for a code the unit does not know.
const Responder* findResponder(uint8_t code);

}  // namespace halvek::sim
