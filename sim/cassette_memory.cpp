#include "cassette_memory.h"

#include "firmware/crc.h"
#include "protocol/catalogue.h"

namespace halvek::sim {

bool CassetteMemory::serves(uint8_t code) {
    switch (code) {
        case cmd::ReadCassFaultBuf:
        case cmd::ReadCassBillBuf:
        case cmd::WriteCassetteId:
        case cmd::EraseSda:
        case cmd::ReadCassetteId:
            return true;
        default:
            return false;
    }
}

CassetteMemory::Reply CassetteMemory::answer(uint8_t code, const Bytes& d, bool attached,
                                             const std::function<void(const std::string&)>& say) {
    auto at = [&d](size_t i) -> uint8_t { return i < d.size() ? d[i] : 0; };
    if (!attached) say("no cassette attached: its memory cannot be reached");
    switch (code) {
        case cmd::ReadCassFaultBuf:
            return {code, attached ? Bytes(faults_.begin(), faults_.end()) : Bytes(faults_.size(), 0)};
        case cmd::ReadCassBillBuf: {
            Bytes b;
            for (uint16_t c : bills_) {
                if (!attached) c = 0;
                b.insert(b.end(), {static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
            }
            return {code, b};
        }
        case cmd::WriteCassetteId: {
            // The ID goes out most significant byte first after two zero bytes;
            // its check value is computed over it least significant byte first.
            const Bytes id = {at(5), at(4), at(3), at(2), 0x00, 0x00};
            const uint16_t check = crc16(kCrc16Poly, 0x04D2, id);
            if (check != (at(6) << 8 | at(7)))
                say("cassette ID check value wrong: not written");
            else if (attached)
                for (size_t i = 0; i < id_.size(); ++i) id_[i] = at(i);
            return {cmd::Ack, {}};
        }
        case cmd::EraseSda:
            if (attached) {
                bills_ = {};
                faults_ = {};
            }
            return {cmd::Ack, {}};
        default:  // ReadCassetteId
            return {code, attached ? Bytes(id_.begin(), id_.end()) : Bytes(id_.size(), 0)};
    }
}

void CassetteMemory::countBill(int type) {
    if (type >= 1 && type <= 15 && bills_[static_cast<size_t>(type - 1)] < 0xFFFF)
        ++bills_[static_cast<size_t>(type - 1)];
}

void CassetteMemory::countFault(int event) {
    if (event >= 1 && event <= 20 && faults_[static_cast<size_t>(event - 1)] < 255)
        ++faults_[static_cast<size_t>(event - 1)];
}

uint32_t CassetteMemory::id() const {
    return static_cast<uint32_t>(id_[2]) << 24 | static_cast<uint32_t>(id_[3]) << 16 |
           static_cast<uint32_t>(id_[4]) << 8 | id_[5];
}

}  // namespace halvek::sim
