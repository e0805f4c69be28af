// halvekd on a line served by another program: halvek-sim runs as its own
// process on a pseudo-terminal, as a unit behind a USB adapter would be, and
// the daemon opens the device path it names. Nothing in the test reaches into
// the simulator; bills go in through its scenario commands on standard input.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "daemon_fixture.h"
#include "money/journal.h"
#include "money/money_record.h"

namespace halvek {
namespace {

using nlohmann::json;
using test::fileText;
using test::waitUntil;

class SimProcessRig : public test::DaemonFixture {
  protected:
    void SetUp() override {
        DaemonFixture::SetUp();
        int in[2], out[2];
        ASSERT_EQ(::pipe2(in, O_CLOEXEC), 0);
        ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
        simPid = test::spawnProcess({HALVEK_SIM_PATH}, dir + "/sim-stderr", in[0], out[1]);
        ::close(in[0]);
        ::close(out[1]);
        simInput = in[1];
        simOutput = out[0];
        ASSERT_GT(simPid, 0) << HALVEK_SIM_PATH;
        device = firstLine("device: ");
        ASSERT_FALSE(device.empty()) << fileText(dir + "/sim-stderr");
    }
    void TearDown() override {
        DaemonFixture::TearDown();
        if (simInput >= 0) ::close(simInput);
        if (simOutput >= 0) ::close(simOutput);
        if (simPid > 0) {
            ::kill(simPid, SIGTERM);
            int status = 0;
            ::waitpid(simPid, &status, 0);
        }
    }

    // The value of the simulator's first output line that starts with PREFIX; "" when none came.
    std::string firstLine(const std::string& prefix) {
        std::string text;
        const auto end = test::Clock::now() + test::kWait;
        while (test::Clock::now() < end) {
            for (size_t nl; (nl = text.find('\n')) != std::string::npos; text.erase(0, nl + 1))
                if (text.compare(0, prefix.size(), prefix) == 0) return text.substr(prefix.size(), nl - prefix.size());
            pollfd p{simOutput, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char chunk[256];
            const ssize_t n = ::read(simOutput, chunk, sizeof chunk);
            if (n <= 0) break;
            text.append(chunk, static_cast<size_t>(n));
        }
        return "";
    }
    void simCommand(const std::string& line) {
        const std::string l = line + "\n";
        ASSERT_EQ(::write(simInput, l.data(), l.size()), static_cast<ssize_t>(l.size()));
    }

    pid_t simPid = -1;
    int simInput = -1, simOutput = -1;
    std::string device;
};

TEST_F(SimProcessRig, AControllerAcceptsABillAndEveryRecordReachesTheSocketAndTheJournal) {
    startOn(device);
    auto kiosk = controller();
    // The daemon takes the unit out of inhibit once a controller is there.
    ASSERT_TRUE(waitUntil([&] {
        return kiosk->ask({{"cmd", "status"}})["state"] == "idle";
    })) << fileText(dir + "/stderr");
    kiosk->seen.clear();
    simCommand("insert 3");
    const json escrow = kiosk->money("escrow");
    ASSERT_FALSE(escrow.is_null()) << fileText(dir + "/stderr");
    EXPECT_EQ(escrow["type"], 3);
    EXPECT_EQ(escrow["value"], 20);
    const int64_t episode = escrow["episode"];
    ASSERT_EQ(kiosk->ask({{"cmd", "decide"}, {"episode", episode}, {"action", "accept"}})["class"], "OK");
    const json credit = kiosk->money("credit");
    ASSERT_FALSE(credit.is_null()) << fileText(dir + "/stderr");
    EXPECT_EQ(credit["credit"], 20);

    // The money records in the order they came, as the socket and the journal have them.
    std::vector<json> records = {escrow};
    for (const json& m : kiosk->seen)
        if (m.value("class", "") == "EVENT" && m.contains("seq")) records.push_back(m);
    records.push_back(credit);
    const std::vector<std::string> kinds = {"escrow", "decision", "sent", "stacked", "credit"};
    ASSERT_EQ(records.size(), kinds.size()) << json(records);
    for (size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(records[i]["kind"], kinds[i]) << records[i];
        EXPECT_EQ(records[i]["episode"], episode) << records[i];
        if (i > 0) {
            EXPECT_GT(records[i]["seq"].get<uint64_t>(), records[i - 1]["seq"].get<uint64_t>());
        }
    }
    EXPECT_EQ(records[1]["by"], "controller");
    EXPECT_EQ(records[1]["action"], "accept");

    const JournalReading kept = readJournal(fileText(journal));
    EXPECT_EQ(kept.unreadLines, 0u);
    ASSERT_EQ(kept.records.size(), records.size()) << fileText(journal);
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(kept.records[i].seq, records[i]["seq"].get<uint64_t>());
        EXPECT_EQ(moneyKindName(kept.records[i].record.kind), records[i]["kind"].get<std::string>());
        EXPECT_EQ(kept.records[i].record.episode, static_cast<uint64_t>(episode));
    }
    // The unit itself saw the bill go into its cash box.
    EXPECT_TRUE(
        waitUntil([&] { return fileText(dir + "/sim-stderr").find("bill type 3 stacked") != std::string::npos; }));
}

}  // namespace
}  // namespace halvek
