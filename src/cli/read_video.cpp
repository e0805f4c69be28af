#include <cstdio>

#include "cli/read_targets.h"
#include "pages/video/video_view.h"

namespace halvek::cli {
namespace {

constexpr const char* kColourNames[4] = {"red", "green", "blue", "infrared"};

// One optics' levels: a line of ranges, then a line per channel; a level out of
// range is marked "*". Columns are 8 wide, one per colour.
void printOptics(std::ostream& out, const std::vector<JudgedLevel>& levels, bool reflective) {
    const char* name = reflective ? "reflective" : "transmissive";
    char cell[32];
    std::string ranges, rows;
    for (const JudgedLevel& l : levels) {
        if (l.reflective != reflective) continue;
        if (l.channel == 0) {
            std::snprintf(cell, sizeof cell, "%d-%d", l.range.low(), l.range.high());
            char padded[32];
            std::snprintf(padded, sizeof padded, "%8s", cell);
            ranges += padded;
        }
        if (l.colour == 0) {
            std::snprintf(cell, sizeof cell, "%-13s ch%d   ", name, l.channel);
            rows += cell;
        }
        std::snprintf(cell, sizeof cell, "%7d%s", l.level, l.inRange() ? " " : "*");
        rows += cell;
        if (l.colour == 3) {
            while (rows.back() == ' ') rows.pop_back();
            rows += "\n";
        }
    }
    char head[32];
    std::snprintf(head, sizeof head, "%-13s range", name);
    out << head << ranges << "\n" << rows;
}

void printOpticsJson(std::ostream& out, const std::vector<JudgedLevel>& levels, bool reflective, int outOfRange,
                     bool judged) {
    out << "{\"verdict\":" << (judged ? (outOfRange ? "\"out of range\"" : "\"OK\"") : "null")
        << ",\"outOfRange\":" << outOfRange << ",\"channels\":[";
    bool firstChannel = true;
    for (const JudgedLevel& l : levels) {
        if (l.reflective != reflective) continue;
        if (l.colour == 0) out << (firstChannel ? "" : "]},") << "{\"channel\":" << l.channel << ",\"levels\":[";
        firstChannel = false;
        out << (l.colour == 0 ? "" : ",") << "{\"colour\":\"" << kColourNames[l.colour] << "\",\"level\":" << l.level
            << ",\"low\":" << l.range.low() << ",\"high\":" << l.range.high()
            << ",\"inRange\":" << (l.inRange() ? "true" : "false") << "}";
    }
    out << (firstChannel ? "]}" : "]}]}");
}

}  // namespace

// The white-paper levels as the Video test page judges them.
void printVideo(const LinkController& link, std::ostream& out, bool json) {
    const bool l8v = link.stores().sensors.l8v;
    const VideoStore& video = link.stores().video;
    const std::vector<JudgedLevel> levels = judgedLevels(video, l8v);
    const VideoVerdict verdict = judgeVideo(video, l8v);
    if (json) {
        out << "{\"variant\":\"" << (l8v ? "L8V" : "L8") << "\",\"transmissive\":";
        printOpticsJson(out, levels, false, verdict.transmissiveOut, verdict.judged);
        out << ",\"reflective\":";
        printOpticsJson(out, levels, true, verdict.reflectiveOut, verdict.judged);
        out << "}\n";
        return;
    }
    out << "white-paper video levels, " << (l8v ? "L8V" : "L8") << " ranges (* out of range)\n"
        << "                        red   green    blue   i_red\n";
    printOptics(out, levels, false);
    printOptics(out, levels, true);
    out << transmissiveLabel(verdict) << "\n" << reflectiveLabel(verdict) << "\n";
}

}  // namespace halvek::cli
