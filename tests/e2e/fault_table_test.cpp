// The faults a line to a validator shows in the field, one row each, against
// the simulated validator (or a small hostile peer) on a pseudo-terminal. For
// every row the host comes back to a working link (a bill then goes through
// escrow to stacked), says what happened where it has words for it, and
// reports no bill stacked that the validator did not stack.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "link/controller_host.h"
#include "link/texts.h"
#include "protocol/catalogue.h"
#include "sim/sim_server.h"
#include "support/pty_pair.h"
#include "support/recording_ui.h"

namespace halvek {
namespace {

using namespace std::chrono_literals;

bool isMoneyEvent(const std::string& line) {
    return line.rfind("bill stacked", 0) == 0 || line.rfind("(cr) bill stacked", 0) == 0 ||
           line.rfind("coupon: ", 0) == 0;
}

// The host against a simulated validator it reaches through a symbolic link,
// so the validator can go away and come back at the same path.
class FaultRig {
  public:
    FaultRig() : link_(::testing::TempDir() + "/halvek-fault-" + std::to_string(getpid())) {
        startSim();
        host.ports.set(1, link_);
        host.controller.addStatusListener(&notices);
    }
    ~FaultRig() {
        stopFlooding();
        if (frozen_.joinable()) thawSim();
        host.close();
    }

    void startSim() {
        sim = std::make_unique<sim::SimServer>();
        // The polls the unit hears.
        sim->setLog([this](const std::string& line) {
            if (line.rfind("<- ", 0) == 0 && line.find(" CC status") != std::string::npos) ++polls;
        });
        ASSERT_TRUE(sim->start());
        ASSERT_TRUE(sim->linkTo(link_));
    }
    void stopSim() { sim.reset(); }
    // The simulator stops reading the line: its serving thread waits for the model
    // (after at most one more read) while this holds it. Returns once it holds
    // it: on a busy machine the holding thread may start late, and the unit
    // would answer the first polls of the fault.
    void freezeSim() {
        std::promise<void> held;
        std::future<void> holding = held.get_future();
        frozen_ = std::thread([this, held = std::move(held), thaw = thaw_.get_future()]() mutable {
            sim->withModel([&](sim::ValidatorModel&) {
                held.set_value();
                thaw.wait();
            });
        });
        holding.wait();
    }
    void thawSim() {
        thaw_.set_value();
        frozen_.join();
    }
    const std::string& path() const { return link_; }
    // The unit sends FRAMES "poll now" every EVERY at the line's pace, until stopped.
    void startFlooding(int frames, std::chrono::milliseconds every) {
        sim->setWireTime(true);
        flooding_ = true;
        flooder_ = std::thread([this, frames, every] {
            while (flooding_) {
                sim->execute("flood-poll " + std::to_string(frames));
                std::this_thread::sleep_for(every);
            }
        });
    }
    void stopFlooding() {
        if (!flooder_.joinable()) return;
        flooding_ = false;
        flooder_.join();
        sim->setWireTime(false);
    }

    // One poll-timer tick, then the line is served until it is quiet.
    void tick(std::chrono::milliseconds settle = 400ms) {
        host.controller.onTick();
        const auto deadline = std::chrono::steady_clock::now() + settle;
        while (std::chrono::steady_clock::now() < deadline) {
            host.mailbox.serveUntil(std::chrono::steady_clock::now() + 5ms);
            if (host.block.transmitFree() && !host.block.awaitingReply.load()) break;
        }
        noteEvents();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
    // Ticks at the poll interval the controller has, serving the line in between,
    // for as long as it takes or until the condition holds.
    bool pacedTicksUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            host.controller.onTick();
            serveFor(std::chrono::milliseconds(host.controller.pollInterval()));
        }
        return true;
    }
    // Serves the line without ticking: whatever is sent now, the unit caused.
    void serveFor(std::chrono::milliseconds span) {
        const auto until = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < until) host.mailbox.serveUntil(until);
        noteEvents();
    }
    bool tickUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 8s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            tick();
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    std::string execute(const std::string& command) { return sim->execute(command); }
    uint32_t stackedBySim() {
        return sim->withModel([](sim::ValidatorModel& m) { return m.lifeCount(); });
    }
    bool answering() const { return host.controller.linkConnected() && host.controller.missedPollCount() <= 1; }
    // Whether the title said it since the fault began (CONNECT itself says
    // "disconnected" until the unit first answers).
    bool titleSaid(const std::string& word) const {
        for (size_t i = titlesBeforeFault; i < ui.titles.size(); ++i)
            if (ui.titles[i] == text::windowTitle() + " " + word) return true;
        return false;
    }
    bool noticed(const std::string& text) const {
        return std::find(notices.lines.begin(), notices.lines.end(), text) != notices.lines.end();
    }
    size_t titlesBeforeFault = 0;

    // What the link says of itself.
    struct Notices : StatusListener {
        void linkNotice(const std::string& text) override { lines.push_back(text); }
        std::vector<std::string> lines;
    } notices;
    std::atomic<int> polls{0};
    test::RecordingUi ui;
    ControllerHost host{ui};
    std::unique_ptr<sim::SimServer> sim;
    int moneyEvents = 0;
    std::vector<std::string> events;

  private:
    // Every event as it is added (a tick adds fewer than the list shows).
    void noteEvents() {
        const auto& lines = host.stores.events.lines();
        size_t filled = 0;
        while (filled < lines.size() && !lines[filled].empty()) ++filled;
        const size_t added = std::min<size_t>(host.stores.events.counter() - seen_, filled);
        for (size_t i = filled - added; i < filled; ++i) {
            events.push_back(lines[i]);
            if (isMoneyEvent(lines[i])) ++moneyEvents;
        }
        seen_ = host.stores.events.counter();
    }

    std::string link_;
    uint32_t seen_ = 0;
    std::promise<void> thaw_;
    std::thread frozen_;
    std::atomic<bool> flooding_{false};
    std::thread flooder_;

  public:
    // A pseudo-terminal an unrelated program opened, with the number the unit's had.
    std::unique_ptr<test::PtyPair> impostor;
};

// Opens pseudo-terminals until one has PATH, the number a closed one had; null
// when another program took it first.
std::unique_ptr<test::PtyPair> ptyNamed(const std::string& path) {
    std::vector<std::unique_ptr<test::PtyPair>> others;
    for (int i = 0; i < 64; ++i) {
        auto pty = std::make_unique<test::PtyPair>();
        if (pty->slavePath() == path) return pty;
        others.push_back(std::move(pty));
    }
    return nullptr;
}

// What the reader hands over, by length.
struct LongestFrame : FrameTap {
    void captureFrame(const uint8_t*, size_t length, bool sent) override {
        if (!sent && length > longest) longest = length;
    }
    std::atomic<size_t> longest{0};
};

// What the host is expected to have said about the fault.
enum class Said {
    Nothing,        // it stayed connected and asked nobody anything
    Disconnected,   // the title said "disconnected" while the fault lasted
    WentAway,       // "No Connection": the device went away (unplugged or closed), and "disconnected" at once
    InterruptMode,  // it stayed connected and said the unit is in interrupt mode
    Held,           // "No Connection": the line takes no writes, said once, and "disconnected"
};

struct FaultRow {
    const char* name;
    std::function<void(FaultRig&)> fault;  // done after the start-up reads
    int ticksDuring;                       // ticks while the fault lasts
    std::function<void(FaultRig&)> end;    // what ends it (nothing for one-shot faults)
    Said said;
    bool atConnect = false;                           // the fault is there before CONNECT
    bool direct = false;                              // the host opens the pseudo-terminal itself, not a link to it
    std::function<void(FaultRig&)> verify = nullptr;  // checked once the bill went through
};

void run(FaultRig& r, const char* command) { ASSERT_EQ(r.execute(command), "") << command; }

// The host asks the unit for interrupt mode, as the Setup page does.
void enterInterruptMode(FaultRig& r) {
    r.host.controller.setInterruptMode(true);
    r.host.controller.request(cmd::SetMode);
    r.ticks(2);
    ASSERT_TRUE(r.sim->withModel([](sim::ValidatorModel& m) { return m.interruptMode(); }));
}

// A unit in interrupt mode floods "poll now": the host polls, as often as the
// line can carry and no more.
void floodInInterruptMode(FaultRig& r) {
    enterInterruptMode(r);
    if (::testing::Test::HasFatalFailure()) return;
    r.serveFor(100ms);
    const int before = r.polls;
    run(r, "flood-poll 200");
    r.serveFor(300ms);
    const int polls = r.polls - before;
    EXPECT_GE(polls, 1) << "\"poll now\" was not honoured";
    EXPECT_LE(polls, 20) << "a poll for every \"poll now\"";
}

// A 2048-byte reply at the shortest poll interval, at the line's own pace
// (2.3 s at 9600 baud): the host waits for all of it and asks nothing again.
void longReplyAtTheShortestInterval(FaultRig& r) {
    r.host.controller.setPollInterval(100);
    r.sim->setWireTime(true);
    run(r, "long-reply 2048");
    const uint32_t taken = r.host.controller.repliesTaken(cmd::ReadStats);
    const LinkCounters before = r.host.controller.linkCounters();
    r.host.controller.request(cmd::ReadStats);
    EXPECT_TRUE(r.pacedTicksUntil([&] { return r.host.controller.repliesTaken(cmd::ReadStats) > taken; }, 6s));
    const LinkCounters after = r.host.controller.linkCounters();
    EXPECT_EQ(after.retried, before.retried);
    EXPECT_EQ(after.givenUp, before.givenUp);
    EXPECT_EQ(after.truncatedFrames, before.truncatedFrames);
}

// A 2048-byte status reply at the shortest poll interval: the polls wait for
// it as a read does, and it is taken whole.
void longStatusAtTheShortestInterval(FaultRig& r) {
    r.host.controller.setPollInterval(100);
    r.sim->setWireTime(true);
    LongestFrame tap;
    r.host.block.frameTap.store(&tap);
    const uint32_t cut = r.host.controller.linkCounters().truncatedFrames;
    run(r, "long-reply 2048 CC");
    EXPECT_TRUE(r.pacedTicksUntil([&] { return tap.longest >= 2048; }, 6s));
    r.host.block.frameTap.store(nullptr);
    EXPECT_EQ(r.host.controller.linkCounters().truncatedFrames, cut);
}

// The unit goes, and an unrelated program opens a pseudo-terminal that gets its
// number: the host does not take it for the unit and never writes to it. The
// technician then points the host at the unit again and presses CONNECT.
void otherTerminalTakesTheNumber(FaultRig& r) {
    const std::string old = r.sim->devicePath();
    r.stopSim();
    r.ticks(2);
    ASSERT_FALSE(r.host.block.port.isOpen());
    r.impostor = ptyNamed(old);
    if (!r.impostor) GTEST_SKIP() << "another program took " << old << " first";
}
void unitBackUnderAnotherName(FaultRig& r) {
    ASSERT_FALSE(r.host.block.port.isOpen());
    EXPECT_TRUE(r.impostor->drain(50ms).empty()) << "the host wrote to a terminal that is not the unit";
    r.impostor.reset();
    r.startSim();
    r.host.ports.set(1, r.sim->devicePath());
    ASSERT_TRUE(r.host.controller.connect());
}

const FaultRow kRows[] = {
    // Silence must outlast the 11 ticks after which the link reads "disconnected",
    // with room for a reply still on its way when the fault began.
    {"Silent", [](FaultRig& r) { run(r, "silent"); }, 14, [](FaultRig& r) { run(r, "speak"); }, Said::Disconnected},
    {"Garbage", [](FaultRig& r) { run(r, "garbage 600"); }, 4, nullptr, Said::Nothing},
    {"TruncatedReply", [](FaultRig& r) { run(r, "truncate-next"); }, 4, nullptr, Said::Nothing},
    {"CorruptedChecksum", [](FaultRig& r) { run(r, "corrupt-next"); }, 4, nullptr, Said::Nothing},
    // Byte 5 of an extended status reply is S0; bit 7 there says "stacked".
    {"FlippedStackedBit", [](FaultRig& r) { run(r, "flip 47"); }, 4, nullptr, Said::Nothing},
    {"AnnouncesOversize", [](FaultRig& r) { run(r, "announce 0xFFFF"); }, 4, nullptr, Said::Nothing},
    {"AnnouncesUndersize", [](FaultRig& r) { run(r, "announce 2"); }, 4, nullptr, Said::Nothing},
    {"FloodsPollNow", [](FaultRig& r) { run(r, "flood-poll 200"); }, 6, nullptr, Said::Nothing},
    {"StrayByte", [](FaultRig& r) { run(r, "stray"); }, 4, nullptr, Said::Nothing},
    // In interrupt mode no frame is written that could set the reassembly back.
    {"StrayByteInInterruptMode",
     [](FaultRig& r) {
         enterInterruptMode(r);
         run(r, "stray");
     },
     4, nullptr, Said::Nothing},
    {"FloodsPollNowInInterruptMode", floodInInterruptMode, 6, nullptr, Said::Nothing},
    // The unit's set-up says interrupt mode though nobody asked for it: the host
    // says so and still polls a quiet unit now and then.
    {"UnaskedInterruptMode",
     [](FaultRig& r) {
         run(r, "unasked-interrupt");
         r.host.controller.request(cmd::ReadSetup);
     },
     12, nullptr, Said::InterruptMode},
    {"LongReplyAtTheShortestInterval", longReplyAtTheShortestInterval, 2, nullptr, Said::Nothing},
    {"SilentAtConnect", [](FaultRig& r) { run(r, "silent"); }, 14, [](FaultRig& r) { run(r, "speak"); },
     Said::Disconnected, true},
    {"HangsUpAndComesBack", [](FaultRig& r) { r.stopSim(); }, 4, [](FaultRig& r) { r.startSim(); }, Said::WentAway},
    {"DevicePathRemoved",
     [](FaultRig& r) {
         // The open line goes on; once the device also goes, it cannot be opened again until it is back.
         ASSERT_EQ(::unlink(r.path().c_str()), 0);
         r.ticks(3);
         ASSERT_TRUE(r.answering());
         r.stopSim();
     },
     6, [](FaultRig& r) { r.startSim(); }, Said::WentAway},
    // Every frame the host writes comes back to it before the unit's reply.
    {"EchoingLine", [](FaultRig& r) { run(r, "echo on"); }, 14, nullptr, Said::Nothing, false, false,
     [](FaultRig& r) {
         EXPECT_GT(r.host.controller.linkCounters().echoes, 0u);
         EXPECT_NE(r.host.controller.linkSummary().find("the line echoes"), std::string::npos);
     }},
    // "Poll now" fills 90 % of the line while the host polls: each poll's reply comes behind some.
    {"FloodsPollNowWhilePolled", [](FaultRig& r) { r.startFlooding(28, 250ms); }, 14,
     [](FaultRig& r) { r.stopFlooding(); }, Said::Nothing},
    {"LongStatusReplyAtTheShortestInterval", longStatusAtTheShortestInterval, 2, nullptr, Said::Nothing},
    // The unit holds the line with flow control: nothing the host writes leaves.
    {"OutputHeld", [](FaultRig& r) { run(r, "flow stop"); }, 14, [](FaultRig& r) { run(r, "flow go"); }, Said::Held},
    {"OtherTerminalTakesTheNumber", otherTerminalTakesTheNumber, 6, unitBackUnderAnotherName, Said::WentAway, false,
     true},
    // The host's polls pile up unread in the pseudo-terminal, and are read all at once later.
    {"StopsReading", [](FaultRig& r) { r.freezeSim(); }, 14, [](FaultRig& r) { r.thawSim(); }, Said::Disconnected},
};

void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }

class FaultTable : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FaultTable, TheHostRecoversSaysWhatHappenedAndInventsNoMoney) {
    const FaultRow& row = GetParam();
    FaultRig r;
    if (row.direct) r.host.ports.set(1, r.sim->devicePath());
    if (row.atConnect) row.fault(r);
    ASSERT_TRUE(r.host.controller.connect());
    const std::string opened = r.host.block.port.path();
    if (!row.atConnect) {
        r.ticks(12);
        ASSERT_TRUE(r.host.stores.bills.tableLoaded);
        ASSERT_TRUE(r.answering());
        r.titlesBeforeFault = r.ui.titles.size();
        row.fault(r);
    }
    if (::testing::Test::HasFatalFailure() || ::testing::Test::IsSkipped()) return;
    r.ticks(row.ticksDuring);
    // What the title says while the fault lasts: never "connected" to a unit that does not answer.
    const bool lost = row.said == Said::Disconnected || row.said == Said::WentAway || row.said == Said::Held;
    EXPECT_EQ(r.ui.titles.back(), text::windowTitle() + (lost ? " disconnected" : " connected"));
    if (row.end) row.end(r);
    if (::testing::Test::HasFatalFailure()) return;

    // Back to a working link, with the start-up reads done again where it was lost.
    ASSERT_TRUE(r.tickUntil([&] { return r.answering() && r.host.block.port.isOpen(); }))
        << "missed polls " << r.host.controller.missedPollCount();
    r.ticks(12);
    switch (row.said) {
        case Said::Nothing:
            EXPECT_FALSE(r.titleSaid("disconnected"));
            EXPECT_TRUE(r.ui.messages.empty()) << r.ui.messages[0].text << ": " << r.ui.messages[0].detail;
            break;
        case Said::Disconnected:
            EXPECT_TRUE(r.titleSaid("disconnected"));
            EXPECT_EQ(r.ui.titles.back(), text::windowTitle() + " connected");
            break;
        case Said::WentAway:
            ASSERT_EQ(r.ui.messages.size(), 1u);
            EXPECT_EQ(r.ui.messages[0].text, "No Connection");
            EXPECT_EQ(r.ui.messages[0].detail, "the device " + opened + " went away (unplugged or closed)");
            break;
        case Said::Held:
            ASSERT_EQ(r.ui.messages.size(), 1u);
            EXPECT_EQ(r.ui.messages[0].text, "No Connection");
            EXPECT_EQ(r.ui.messages[0].detail,
                      "the device " + opened + " takes no writes (the line is held, as by flow control)");
            EXPECT_TRUE(r.titleSaid("disconnected"));
            break;
        case Said::InterruptMode:
            EXPECT_FALSE(r.titleSaid("disconnected"));
            EXPECT_TRUE(r.ui.messages.empty());
            EXPECT_TRUE(r.noticed(text::kUnitInInterruptMode));
            EXPECT_TRUE(r.host.controller.interruptMode());
            break;
    }

    // A bill goes through, and the host reports exactly the bills the validator stacked.
    ASSERT_EQ(r.execute("insert 2"), "");
    ASSERT_TRUE(r.tickUntil([&] { return r.stackedBySim() >= 1 && r.moneyEvents >= 1; }));
    r.ticks(3);
    EXPECT_EQ(r.moneyEvents, static_cast<int>(r.stackedBySim()));
    EXPECT_EQ(r.events.back(), "bill stacked : EUR  10");
    if (row.verify) row.verify(r);
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& info) { return info.param.name; });

}  // namespace
}  // namespace halvek
