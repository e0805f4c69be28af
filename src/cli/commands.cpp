#include "cli/commands.h"

#include "cli/capture.h"
#include "cli/cassette.h"
#include "cli/crc.h"
#include "cli/doctor.h"
#include "cli/download.h"
#include "cli/monitor.h"
#include "cli/ports.h"
#include "cli/read.h"
#include "cli/report.h"
#include "cli/service_client.h"
#include "cli/set.h"
#include "cli/upload.h"

namespace halvek::cli {
namespace {

const Command kCommands[] = {
    {"monitor", "connect to a validator and print what happens, one line each", runMonitor},
    {"read", "connect, read one kind of data and print it (text or JSON)", runRead},
    {"set", "turn set-up switches of a validator and print its set-up read back", runSet},
    {"set-rtc", "set a validator's clock to this PC's time and print it read back", runSetRtc},
    {"report", "read a validator and write its diagnostics report file", runReport},
    {"capture", "poll a validator and write every frame to a capture file", runCapture},
    {"crc", "a firmware file's checksum, the validator's, or both compared", runCrc},
    {"download", "check a firmware file and load it into the validator", runDownload},
    {"upload", "read the validator's firmware into a file", runUpload},
    {"cassette", "read, write the ID of, or clear the attached cassette", runCassette},
    {"ticket", "print one bar-code ticket", runTicket},
    {"ports", "list the serial devices of this machine", runPorts},
    {"doctor", "check a serial port for the usual Linux troubles", runDoctor},
    {"watch", "print what halvekd reports: money records, the unit's events", runWatch},
    {"decide", "accept or return a bill in escrow as halvekd's controller", runDecide},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

}  // namespace halvek::cli
