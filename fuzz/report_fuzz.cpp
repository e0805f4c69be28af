// The page parses and the report writer: replies of any length and content for
// every command whose reply is stored go through the controller into the
// stores, and the report is written from what they hold. Its lines all end in
// CR LF, and the same stores give the same report.
#include <vector>

#include "fuzz_input.h"
#include "link/command_table.h"
#include "link_rig.h"
#include "protocol/frame.h"
#include "report/report_writer.h"

using namespace halvek;
using halvek::fuzz::FuzzInput;
using halvek::fuzz::LinkRig;

namespace {

std::vector<uint8_t> storedCodes() {
    std::vector<uint8_t> codes;
    for (const CommandRow& row : commandTable())
        if (row.store) codes.push_back(row.code);
    return codes;
}

void checkLineEnds(const std::string& report) {
    for (size_t i = 0; i < report.size(); ++i) {
        if (report[i] == '\n') FUZZ_CHECK(i > 0 && report[i - 1] == '\r', "a report line ends in a bare LF");
        if (report[i] == '\r') FUZZ_CHECK(i + 1 < report.size() && report[i + 1] == '\n', "a bare CR in the report");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<uint8_t> codes = storedCodes();
    FuzzInput in(data, size);
    LinkRig rig(in.flag());
    const bool ext = rig.block.extendedMode.load();

    ReportOptions options;
    const uint8_t parts = in.byte();
    options.statistics = parts & 1;
    options.mainOptics = parts & 2;
    options.sensors = parts & 4;
    options.video = parts & 8;
    const auto serial = in.bytes(in.byte() % 16);
    options.serialNumber = limitSerialNumber(std::string(serial.begin(), serial.end()));
    ReportTime when{in.byte() + 1990, in.byte() % 13, in.byte() % 32, in.byte() % 24, in.byte() % 60, in.byte() % 60};

    while (!in.done()) {
        const uint8_t code = codes[in.byte() % codes.size()];
        rig.controller.noteDiagnosticsSent(in.flag() ? kVideoSelector : kSensorSelector);
        const size_t n = in.u16() % 1100;
        rig.deliverFrame(encodeFrame(ext, code, in.bytes(n)));
    }

    const std::string report = writeReport(rig.stores, options, when);
    checkLineEnds(report);
    FUZZ_CHECK(writeReport(rig.stores, options, when) == report, "the same stores gave another report");
    return 0;
}
