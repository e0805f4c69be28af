#include "sim_data.h"

namespace halvek::sim {

const std::vector<Note>& defaultNotes() {
    static const std::vector<Note> notes = {
        {1, "EUR", 5},   {2, "EUR", 10},  {3, "EUR", 20},  {4, "EUR", 50},
        {5, "EUR", 100}, {6, "EUR", 200}, {7, "EUR", 500}, {16, "CPN", 1},
    };
    return notes;
}

void encodeExtendedValue(uint32_t value, uint8_t& mantissa, int8_t& exponent) {
    exponent = 0;
    while (value > 255 && value % 10 == 0) {
        value /= 10;
        ++exponent;
    }
    mantissa = static_cast<uint8_t>(value);
}

uint8_t encodeStandardValue(uint32_t value) {
    uint8_t e = 0;
    while (value > 15 && value % 10 == 0) {
        value /= 10;
        ++e;
    }
    return static_cast<uint8_t>((value << 4) | e);
}

Bytes creditTableData(const std::vector<Note>& notes) {
    Bytes d{static_cast<uint8_t>(notes.size())};
    for (const Note& n : notes) {
        uint8_t m;
        int8_t e;
        encodeExtendedValue(n.value, m, e);
        d.insert(d.end(), {n.type, static_cast<uint8_t>(n.currency[0]), static_cast<uint8_t>(n.currency[1]),
                           static_cast<uint8_t>(n.currency[2]), m, static_cast<uint8_t>(e)});
    }
    return d;
}

Bytes unitOptionsData(const std::vector<Note>& notes) {
    Bytes d{static_cast<uint8_t>(notes.size())};
    for (const Note& n : notes) {
        if (n.type > 16) continue;  // the short table has room for sixteen types
        d.insert(d.end(), {n.type, static_cast<uint8_t>(n.currency[0]), static_cast<uint8_t>(n.currency[1]),
                           static_cast<uint8_t>(n.currency[2]), encodeStandardValue(n.value)});
    }
    return d;
}

Bytes sensorData(Variant v, bool fail) {
    if (v == Variant::L8V) {
        Bytes d(28);
        // Front right, front left, rear exit, sidelook, channel open: gain, target, reading, status.
        for (size_t s = 0; s < 5; ++s) {
            const auto gain = static_cast<uint16_t>(0x0120 + 0x11 * s);
            d[5 * s] = static_cast<uint8_t>(gain >> 8);
            d[5 * s + 1] = static_cast<uint8_t>(gain & 0xFF);
            d[5 * s + 2] = 100;
            d[5 * s + 3] = static_cast<uint8_t>(fail ? 3 : 98 + s);
            d[5 * s + 4] = fail ? 0 : 1;
        }
        d[25] = 24;  // temperature at VLA
        d[26] = 27;  // current temperature
        d[27] = 52;  // barcode emitter
        return d;
    }
    // Front status, rear status, sidelook gain, reading, emitters, temperatures (at VLA, current), emitter 2.
    return {static_cast<uint8_t>(fail ? 1 : 0), static_cast<uint8_t>(fail ? 1 : 0), 0x01, 0x34, 97, 50, 24, 27, 51};
}

Bytes opticsData(Variant v, bool fail) {
    Bytes d(392, 0);
    for (size_t i = 0; i < 28; ++i) {
        d[i] = static_cast<uint8_t>(200 + i % 7);       // reflective white
        d[28 + i] = static_cast<uint8_t>(190 + i % 5);  // transmissive white
        d[56 + i] = static_cast<uint8_t>(10 + i % 3);   // reflective black
        d[84 + i] = static_cast<uint8_t>(12 + i % 4);   // transmissive black
        const uint16_t tg = static_cast<uint16_t>(fail && i == 0 ? 0x3FF : 0x180 + 4 * i);
        const uint16_t rg = static_cast<uint16_t>(0x140 + 3 * i);
        // The L8 carries the high part of a transmissive gain in the upper four bits of its first byte.
        d[168 + 2 * i] = static_cast<uint8_t>(v == Variant::L8V ? tg >> 8 : (tg >> 8) << 4);
        d[169 + 2 * i] = static_cast<uint8_t>(tg & 0xFF);
        d[224 + 2 * i] = static_cast<uint8_t>(rg >> 8);
        d[225 + 2 * i] = static_cast<uint8_t>(rg & 0xFF);
        d[281 + 2 * i] = static_cast<uint8_t>(fail && i == 1 ? 0 : 120 + i);  // transmissive emitter
        d[337 + 2 * i] = static_cast<uint8_t>(110 + i);                       // reflective emitter
    }
    return d;
}

Bytes videoData(Variant v, int samples, bool fail) {
    static const int kTransL8[4] = {82, 81, 73, 81};
    static const int kReflL8[4] = {220, 212, 210, 230};
    Bytes d;
    for (int s = 0; s < samples; ++s) {
        for (int ch = 0; ch < 7; ++ch) {
            for (int col = 0; col < 4; ++col) {
                int refl = v == Variant::L8V ? 220 : kReflL8[col];
                int trans = v == Variant::L8V ? 80 : kTransL8[col];
                // A little spread between samples and channels, well inside the ranges.
                refl += (ch + s + col) % 5 - 2;
                trans += (ch * 3 + s + col) % 5 - 2;
                if (fail && ch == 0 && col == 2) trans = 40;
                d.push_back(static_cast<uint8_t>(refl));
                d.push_back(static_cast<uint8_t>(trans));
            }
        }
    }
    return d;
}

}  // namespace halvek::sim
