#include "report/report_writer.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "pages/common/event_descriptions.h"

namespace halvek {

ReportTime ReportTime::now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {

// Event numbers 19 and 20 are never reported.
constexpr size_t kReportedEvents = 18;
// Below this many accepted bills an acceptance rate says nothing.
constexpr uint32_t kRateMinimum = 100;

// Channels as the report's columns show them.
constexpr size_t kColumns[] = {3, 1, 0, 2, 4};
constexpr const char* kColourRows[] = {" Red     ", " Green   ", " Blue    ", " I.Red   "};
constexpr size_t kInfrared = 3;

constexpr const char* kColumnLine = " Color   Ch3   Ch1   Ch0   Ch2   Ch4   ;    Ch3   Ch1   Ch0   Ch2   Ch4\r\n\r\n";
constexpr const char* kHexRow = "%03X   %03X   %03X   %03X   %03X   ;    %03X   %03X   %03X   %03X   %03X\r\n";
constexpr const char* kDecimalRow = "%03d   %03d   %03d   %03d   %03d   ;    %03d   %03d   %03d   %03d   %03d\r\n";

class ReportText {
  public:
    __attribute__((format(printf, 2, 3))) void print(const char* format, ...) {
        va_list args, again;
        va_start(args, format);
        va_copy(again, args);
        const int n = std::vsnprintf(nullptr, 0, format, args);
        va_end(args);
        if (n > 0) {
            const size_t at = text_.size();
            text_.resize(at + static_cast<size_t>(n) + 1);
            std::vsnprintf(text_.data() + at, static_cast<size_t>(n) + 1, format, again);
            text_.resize(at + static_cast<size_t>(n));  // drop the terminating zero
        }
        va_end(again);
    }
    void put(const char* s) { text_ += s; }
    void stars() { text_.append(77, '*').append("\r\n"); }
    void dashes() { text_.append(77, '-').append("\r\n"); }
    void partHeading(const char* heading) {
        stars();
        put(heading);
        stars();
        dashes();
    }
    std::string take() { return std::move(text_); }

  private:
    std::string text_;
};

// A text from the validator or the user, kept on its one line: a control
// character (a stray CR or LF would split the line for the tools that read
// these files) shows as '?'.
std::string oneLine(std::string s) {
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return s;
}

// The revision text as received: eight characters at most, ending at a zero.
std::string revisionText(const IdentityStore& identity) {
    std::string s;
    for (size_t i = 0; i < 8 && identity.revision[i] != '\0'; ++i) s += identity.revision[i];
    return oneLine(s);
}

void writeHeader(ReportText& out, const Stores& s, const ReportOptions& options, const ReportTime& when) {
    out.stars();
    out.put(s.sensors.l8v ? "************************* L8V diagnostics file ******************************\r\n"
                          : "************************* L8  diagnostics file ******************************\r\n");
    out.stars();
    out.print("\r\n          Unit Ser. Num.: %s\r\n", oneLine(options.serialNumber).c_str());
    out.print("          Program Rev...: %s\r\n", revisionText(s.identity).c_str());
    out.print("          Date..........: %d-%d-%d.\r\n", when.month, when.day, when.year);
    out.print("          Time..........: %d:%d:%d.\r\n\r\n", when.hour, when.minute, when.second);
}

void writeStatistics(ReportText& out, const Stores& s) {
    const StatisticsStore& st = s.statistics;
    out.partHeading("  PART I - STATISTICAL DATA \r\n");
    out.put("Number  Event Description               Count\r\n");
    out.dashes();
    for (size_t n = 1; n <= kReportedEvents; ++n) {
        const std::string description(EventDescriptions[n - 1]);
        out.print(" %02zu     %s   %d\r\n", n, description.c_str(), st.eventCounts[n - 1]);
    }
    out.dashes();
    out.put(" Accepted Bills:\r\n");
    out.dashes();
    out.put(" Type Val   Count    Type Val   Count\r\n\r\n");
    constexpr size_t kHalf = kBillTypes / 2;
    uint32_t total = 0;
    for (size_t k = 1; k <= kHalf; ++k)
        out.print("[%02zu   %05d   %05d] [%02zu   %05d   %05d]\r\n", k, s.bills.values[k], st.billCounts[k - 1],
                  k + kHalf, s.bills.values[k + kHalf], st.billCounts[k + kHalf - 1]);
    for (uint16_t count : st.billCounts) total += count;
    out.print(" Total     : %d\r\n", static_cast<int>(total));
    out.dashes();
    if (total < kRateMinimum) {
        out.put(" Acceptance Rate : not enough data\r\n");
    } else {
        // Accepted plus disabled entries, against those and the optical and security rejections.
        const double good = static_cast<double>(total) + st.eventCounts[2];
        const double rate = 100.0 * good / (good + st.eventCounts[1] + st.eventCounts[3]);
        out.print(" Acceptance Rate : %5.2f %%\r\n", rate);
    }
    out.dashes();
}

void writeSensors(ReportText& out, const SensorStore& s) {
    out.partHeading("  PART II - SENSORS DATA\r\n");
    if (s.l8v) {
        // Only a status of exactly 1 is printed as open, although the page shows
        // any non-zero status as open: existing reports were compared that way.
        static constexpr struct {
            SensorRow row;
            const char* format;
        } kRows[] = {
            {Sidelook, " Sidelook\t %03X      %03d      %03d      %s\r\n"},
            {ChanOpen, " Chan. Open\t %03X      %03d      %03d      %s\r\n"},
            {FrontRight, " Front right\t %03X      %03d      %03d      %s\r\n"},
            {FrontLeft, " Front left\t %03X      %03d      %03d      %s\r\n"},
            {RearExit, " Rear exit\t %03X      %03d      %03d      %s\r\n"},
        };
        out.put(" Sensor:\t Gain(h)  Target   Reading  Status\r\n");
        out.dashes();
        for (const auto& r : kRows) {
            const SensorReading& v = s.full[r.row];
            out.print(r.format, v.gain, v.target, v.reading, v.status == 1 ? "open" : "closed");
        }
    } else {
        out.print(" Sidelook\tgain  %03X      Reading     %03d \r\n", s.sidelookGain, s.sidelookReading);
        out.print(" Front    status\t  %s\r\n", s.frontStatus == 1 ? "closed" : "open");
        out.print(" Rear     status\t  %s\r\n", s.rearStatus == 1 ? "closed" : "open");
        out.print(" BCR       emitter1:  %03d  emitter2:  %03d\r\n", s.barcodeEmitter1, s.barcodeEmitter2);
    }
    out.dashes();
    out.print(" Temperature:\t  Current %d ;  At Vla %d \r\n", s.currentTemperature, s.temperatureAtVla);
    out.dashes();
}

// One colour's row: the transmissive channels, then the reflective ones.
template <class T>
void writeColourRow(ReportText& out, const char* format, const ChannelTable<T>& trans, const ChannelTable<T>& refl,
                    size_t colour) {
    const auto t = [&](size_t i) { return static_cast<int>(trans[kColumns[i]][colour]); };
    const auto r = [&](size_t i) { return static_cast<int>(refl[kColumns[i]][colour]); };
    out.put(kColourRows[colour]);
    out.print(format, t(0), t(1), t(2), t(3), t(4), r(0), r(1), r(2), r(3), r(4));
}

template <class T>
void writeChannelTable(ReportText& out, const char* heading, const char* format, const ChannelTable<T>& trans,
                       const ChannelTable<T>& refl) {
    out.put(heading);
    out.dashes();
    out.put(kColumnLine);
    for (size_t colour = 0; colour <= kInfrared; ++colour) writeColourRow(out, format, trans, refl, colour);
}

void writeOptics(ReportText& out, const OpticsStore& o) {
    out.partHeading("  PART III - MAIN OPTICS PARAMETERS\r\n");
    writeChannelTable(out, "         Transmissive Gains                 Reflective Gains\r\n", kHexRow, o.transGain,
                      o.reflGain);
    out.dashes();
    writeChannelTable(out, "         Transmissive Emitters              Reflective Emitters\r\n", kDecimalRow,
                      o.transEmitter, o.reflEmitter);
    out.dashes();
    writeChannelTable(out, "         Transmissive White Levels          Reflective White L.\r\n", kDecimalRow,
                      o.transWhite, o.reflWhite);
    out.dashes();
    writeChannelTable(out, "         Transmissive Black Levels          Reflective Black L.\r\n", kDecimalRow,
                      o.transBlack, o.reflBlack);
    out.put("\r\n");  // the black-level table ends with an empty line instead of a rule
}

void writeVideo(ReportText& out, const VideoStore& v) {
    out.partHeading("  PART IV - WHITE PAPER VIDEO TEST RESULTS\r\n");
    ChannelTable<uint8_t> trans{}, refl{};
    for (size_t ch = 0; ch < 7; ++ch)
        for (size_t col = 0; col <= kInfrared; ++col) {
            trans[ch][col] = v.transLevel(ch, col);
            refl[ch][col] = v.reflLevel(ch, col);
        }
    writeChannelTable(out, "         Transmissive Video Levels          Reflective Video L.\r\n", kDecimalRow, trans,
                      refl);
    out.put("\r\n");
    out.dashes();
    out.stars();
}

}  // namespace

std::string writeReport(const Stores& stores, const ReportOptions& options, const ReportTime& when) {
    ReportText out;
    if (options.statistics) {
        // The header travels with the statistics: a report without them has none.
        writeHeader(out, stores, options, when);
        writeStatistics(out, stores);
    }
    if (options.sensors) writeSensors(out, stores.sensors);
    if (options.mainOptics) writeOptics(out, stores.optics);
    if (options.video) writeVideo(out, stores.video);
    return out.take();
}

}  // namespace halvek
