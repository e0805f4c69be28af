#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "link/stores.h"
#include "report/report_writer.h"

namespace halvek::test {

// One set of stores that every report test prints: small numbers that show
// which field lands in which column.
inline Stores reportFixture(bool l8v) {
    Stores s;
    s.sensors.l8v = l8v;
    const char revision[] = "RV-QA034";
    for (size_t i = 0; i < 8; ++i) s.identity.revision[i] = revision[i];

    const int values[] = {5, 10, 20, 50, 100, 200, 500};
    for (size_t t = 1; t <= 7; ++t) s.bills.values[t] = values[t - 1];
    s.bills.values[16] = 1;
    s.bills.values[33] = 1000;
    auto& st = s.statistics;
    st.billCounts[0] = 40, st.billCounts[1] = 30, st.billCounts[2] = 20, st.billCounts[6] = 8;
    st.billCounts[15] = 1, st.billCounts[32] = 2, st.billCounts[63] = 1;  // 102 in all
    st.eventCounts[1] = 3, st.eventCounts[2] = 2, st.eventCounts[3] = 6, st.eventCounts[4] = 1;
    st.eventCounts[6] = 4, st.eventCounts[9] = 12, st.eventCounts[14] = 7, st.eventCounts[17] = 5;
    st.eventCounts[18] = 99, st.eventCounts[19] = 77;  // never printed

    auto& full = s.sensors.full;
    full[Sidelook] = {0x123, 100, 98, 1};
    full[ChanOpen] = {0x0AB, 90, 7, 0};
    full[FrontRight] = {0x1FF, 100, 101, 2};  // shown open on the page, printed closed
    full[FrontLeft] = {0x010, 50, 49, 1};
    full[RearExit] = {0xABC, 255, 0, 0};
    s.sensors.currentTemperature = 27, s.sensors.temperatureAtVla = 24;
    s.sensors.barcodeEmitter1 = 52, s.sensors.barcodeEmitter2 = 51;
    s.sensors.sidelookGain = 0x134, s.sensors.sidelookReading = 97;
    s.sensors.frontStatus = 1, s.sensors.rearStatus = 2;

    auto& o = s.optics;
    for (size_t ch = 0; ch < 5; ++ch)
        for (size_t col = 0; col < 4; ++col) {
            const size_t k = 10 * ch + col;
            o.transGain[ch][col] = static_cast<uint16_t>(0x100 + 0x10 * ch + col);
            o.reflGain[ch][col] = static_cast<uint16_t>(0x200 + 0x10 * ch + col);
            o.transEmitter[ch][col] = static_cast<uint8_t>(k);
            o.reflEmitter[ch][col] = static_cast<uint8_t>(100 + k);
            o.transWhite[ch][col] = static_cast<uint8_t>(150 + k);
            o.reflWhite[ch][col] = static_cast<uint8_t>(200 + k);
            o.transBlack[ch][col] = static_cast<uint8_t>(ch + col);
            o.reflBlack[ch][col] = static_cast<uint8_t>(5 + ch + col);
            s.video.trans[ch][col][0] = static_cast<uint8_t>(70 + 2 * ch + col);
            s.video.refl[ch][col][0] = static_cast<uint8_t>(200 + 2 * ch + col);
            s.video.trans[ch][col][1] = 1;  // samples other than the mean are not printed
        }
    return s;
}

inline const ReportTime kFixtureTime{2026, 3, 7, 9, 5, 2};

inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::string expectedReport(const std::string& name) {
    return fileBytes(std::string(HALVEK_REPORT_EXPECTED) + "/" + name);
}

}  // namespace halvek::test
