#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "link/controller_host.h"

namespace halvek::sim {
class SimServer;
}

namespace halvek::cli {

// Which validator a console command talks to, and how.
struct LinkOptions {
    std::string port;       // --port PATH
    long com = 0;           // --com N
    bool simulate = false;  // --simulate: a simulated validator inside the tool
    bool extended = true;   // --q7 / --q7e
    long interval = 350;    // --interval MS
    long simBills = -1;     // --sim-bills SECONDS; -1: the command's own habit
};

// The usage lines of the link options, for a command's own usage text.
extern const char* const kLinkOptionsUsage;

// Takes the link option at args[i] (and its value), advancing i. Returns false
// when args[i] is not a link option; error is set when it is one with a bad value.
bool parseLinkOption(const std::vector<std::string>& args, size_t& i, LinkOptions& options, std::string& error);
// "" when exactly one of --port, --com and --simulate was given, else what is wrong.
std::string checkLinkOptions(const LinkOptions& options);

// Puts the validator's line behind the controller's COM entry: the device given
// (--port), or COM com as the window maps it (HALVEK_COM<n> when set, else the
// device kept in halvek.ini, else /dev/ttyS<n-1>). It also turns auto-accept off: a
// command that only reads, sets or loads leaves a bill in escrow to the unit.
void selectLine(ControllerHost& host, const std::string& port, long com);
// Sets how often the simulated validator takes a bill by itself: every
// `simBills` seconds or so (0: never) when given, else every few seconds for a
// command that plays the machine controller (busy) and never for the others.
void startSimBills(sim::SimServer& simulator, long simBills, bool busy);
// The device behind COM com as the window maps it.
std::string comDevice(long com);

// A whole number in [lo, hi] written in decimal.
bool parseInt(const std::string& s, long lo, long hi, long& value);

// A controller connected for a console command: the simulator when asked for,
// the host, a headless loop that ticks it, and the messages the core shows
// printed on the error stream ("NAME: title: text (detail)").
class CliLink {
  public:
    CliLink(std::string name, std::ostream& err);
    ~CliLink();
    CliLink(const CliLink&) = delete;
    CliLink& operator=(const CliLink&) = delete;

    // Starts the simulator (with --simulate) and presses CONNECT. False, with
    // the reason printed, when the line cannot be opened.
    bool open(const LinkOptions& options);
    // Ticks and serves replies until done() holds or the time is up; false on time-out.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Waits until the unit answers and the start-up reads are through (the bill
    // table, the revision, the set-up byte and the sensor data are then known).
    bool waitForStartup(std::chrono::milliseconds timeout = std::chrono::seconds(15));
    // Asks for the commands and waits until each has brought a reply.
    bool readAll(const std::vector<uint8_t>& codes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The same, with "read diagn.(0)" asking for the data of the selector given.
    bool readAll(const std::vector<uint8_t>& codes, uint8_t diagnosticsSelector,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));

    ControllerHost& host() { return *host_; }
    LinkController& controller() { return host_->controller; }
    Stores& stores() { return host_->stores; }
    HeadlessLoop& loop() { return *loop_; }
    sim::SimServer* simulator() { return simulator_.get(); }
    const std::string& name() const { return name_; }

  private:
    class Ui;
    std::string name_;
    std::ostream& err_;
    std::unique_ptr<sim::SimServer> simulator_;
    std::unique_ptr<Ui> ui_;
    std::unique_ptr<ControllerHost> host_;
    std::unique_ptr<HeadlessLoop> loop_;
};

}  // namespace halvek::cli
