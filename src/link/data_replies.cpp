#include "link/data_replies.h"

#include <algorithm>

namespace halvek {

void storeBillEnable(BillStore& bills, const Reply& r) {
    if (r.extended()) {
        for (size_t j = 0; j < r.dataCount() && j < 8; ++j)
            for (int k = 0; k < 8; ++k) bills.enabled[8 * j + k] = (r.data(j) >> k) & 1;
        return;
    }
    // Standard layout: a 16-bit mask, high byte first: types 9-16, then 1-8.
    for (int k = 0; k < 8; ++k) {
        bills.enabled[8 + k] = (r.data(0) >> k) & 1;
        bills.enabled[k] = (r.data(1) >> k) & 1;
    }
}

void storeSecurity(BillStore& bills, const Reply& r) {
    for (size_t j = 0; j < r.dataCount() && j < 8; ++j)
        for (int k = 0; k < 8; ++k) bills.security[8 * j + k] = (r.data(j) >> k) & 1;
}

namespace {

void storeRecords(BillStore& bills, const Reply& r, size_t count, size_t first, size_t size) {
    for (size_t i = 0; i < count; ++i) {
        const size_t at = first + i * size;
        const uint8_t type = r.byte(at);
        if (!BillStore::known(type)) continue;  // no slot for it
        auto& slot = bills.table[type - 1];
        slot[0] = type;
        for (size_t b = 1; b < size; ++b) slot[b] = r.byte(at + b);
    }
}

}  // namespace

void storeCreditTable(BillStore& bills, const Reply& r) {
    const size_t length = r.length();
    storeRecords(bills, r, length < 14 ? 0 : (length - 8) / 6, 6, 6);
    bills.recomputeValues(true);
    bills.tableLoaded = true;
}

void storeUnitOptions(BillStore& bills, const Reply& r) {
    const size_t length = r.byte(1);
    storeRecords(bills, r, length < 10 ? 0 : (length - 5) / 5, 4, 5);
    bills.recomputeValues(false);
    bills.tableLoaded = true;
}

void storeStatistics(StatisticsStore& stats, const Reply& r) {
    const size_t types = r.extended() ? 64 : 16;
    for (size_t k = 0; k < types; ++k) stats.billCounts[k] = r.data16le(2 * k);
    const size_t events = 2 * types;
    for (size_t k = 0; k < 20; ++k) {
        const uint16_t v = r.data16le(events + 2 * k);
        if (v == stats.eventCounts[k] + 1) stats.lastEvent = static_cast<uint8_t>(k + 1);
        stats.eventCounts[k] = v;
    }
    stats.eventCounts[0] = 0;
}

void storeSensors(SensorStore& s, const Reply& r) {
    const size_t n = r.dataCount();
    if (n >= 15) {
        s.l8v = true;
        // Reply order: front right, front left, rear exit, sidelook, channel open.
        const SensorRow order[] = {FrontRight, FrontLeft, RearExit, Sidelook, ChanOpen};
        for (size_t i = 0; i < 5; ++i) {
            SensorReading& row = s.full[order[i]];
            row.gain = r.data16(5 * i);
            row.target = r.data(5 * i + 2);
            row.reading = r.data(5 * i + 3);
            row.status = r.data(5 * i + 4);
        }
        s.temperatureAtVla = r.data(25);
        s.currentTemperature = r.data(26);
        s.barcodeEmitter1 = r.data(27);
        return;
    }
    s.l8v = false;
    s.frontStatus = r.data(0);
    s.rearStatus = r.data(1);
    s.sidelookGain = r.data16(2);
    s.sidelookReading = r.data(4);
    s.barcodeEmitter1 = r.data(5);
    s.temperatureAtVla = r.data(6);
    s.currentTemperature = r.data(7);
    s.barcodeEmitter2 = r.data(8);
}

void storeOptics(OpticsStore& o, bool l8v, const Reply& r) {
    for (size_t i = 0; i < 28; ++i) {
        const size_t ch = i / 4, col = i % 4;
        o.reflWhite[ch][col] = r.data(i);
        o.transWhite[ch][col] = r.data(28 + i);
        o.reflBlack[ch][col] = r.data(56 + i);
        o.transBlack[ch][col] = r.data(84 + i);
        const uint8_t p = r.data(168 + 2 * i), q = r.data(169 + 2 * i);
        o.transGain[ch][col] = static_cast<uint16_t>((l8v ? p : p >> 4) * 256 + q);
        o.reflGain[ch][col] = r.data16(224 + 2 * i);
        o.transEmitter[ch][col] = r.data(281 + 2 * i);
        o.reflEmitter[ch][col] = r.data(337 + 2 * i);
    }
    o.received = true;
}

void storeVideo(VideoStore& v, bool l8v, const Reply& r) {
    const size_t samples = r.extended() ? 5 : 1;
    for (size_t s = 0; s < samples; ++s)
        for (size_t i = 0; i < 28; ++i) {
            v.refl[i / 4][i % 4][s] = r.data(56 * s + 2 * i);
            v.trans[i / 4][i % 4][s] = r.data(56 * s + 2 * i + 1);
        }
    for (size_t ch = 0; ch < 7; ++ch)
        for (size_t col = 0; col < 4; ++col) {
            unsigned sumR = 0, sumT = 0;
            for (size_t s = 0; s < samples; ++s) {
                sumR += v.refl[ch][col][s];
                sumT += v.trans[ch][col][s];
            }
            v.trans[ch][col][0] = static_cast<uint8_t>(sumT / samples);
            v.refl[ch][col][0] = l8v && (ch == 3 || ch == 4) ? 0 : static_cast<uint8_t>(sumR / samples);
        }
    v.received = true;
}

bool storeVideoSamples(VideoSampleStore& store, bool fullSensorLayout, const Reply& r) {
    const size_t length = r.length();
    const size_t bytes = length > 11 ? length - 11 : 0;
    if (store.secondPart) {
        store.raw.assign(bytes, 0);
        for (size_t i = 0; i < bytes; ++i) store.raw[i] = r.byte(5 + i);
        store.secondPart = false;
        return false;
    }
    const size_t n = std::min(bytes / 56, VideoSampleStore::kMaxSamples);
    store.samples = n;
    store.refl.assign(n, {});
    store.trans.assign(n, {});
    for (size_t s = 0; s < n; ++s)
        for (size_t p = 0; p < 28; ++p) {
            store.refl[s][p] = r.data(56 * s + 2 * p);
            store.trans[s][p] = r.data(56 * s + 2 * p + 1);
        }
    if (fullSensorLayout) {
        store.raw.clear();
        return false;
    }
    store.secondPart = true;
    return true;
}

void storeQrvCounts(CounterStore& c, const Reply& r) {
    const size_t groups = std::min<size_t>(r.dataCount() / 4, kBillTypes);
    for (size_t k = 0; k < groups; ++k)
        c.qrvCounts[k] = static_cast<uint32_t>(r.data(4 * k)) << 24 | static_cast<uint32_t>(r.data(4 * k + 1)) << 16 |
                         static_cast<uint32_t>(r.data(4 * k + 2)) << 8 | r.data(4 * k + 3);
}

void storeLifeCount(CounterStore& c, const Reply& r) {
    c.lifeCount = r.data(0) + 256u * r.data(1) + 65536u * r.data(2);
}

void storeLastFive(CounterStore& c, const Reply& r) {
    for (size_t i = 0; i < 5; ++i) c.lastFive[i] = r.data(i);
}

uint16_t storeRevision(IdentityStore& id, const Reply& r) {
    for (size_t i = 0; i < 8; ++i) id.revision[i] = static_cast<char>(r.data(i));
    id.revision[8] = '\0';
    auto digit = [&](size_t i) { return id.revision[i] >= '0' && id.revision[i] <= '9' ? id.revision[i] - '0' : 0; };
    id.revisionNumber = static_cast<uint16_t>(100 * digit(5) + 10 * digit(6) + digit(7));
    return id.revisionNumber;
}

bool diagnosticsAvailableFor(uint16_t revisionNumber) { return !(revisionNumber > 100 && revisionNumber < 200); }

}  // namespace halvek
