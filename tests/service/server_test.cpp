// The socket server against clients on real Unix sockets, all on the test's thread:
// the server is handed poll rounds until the client has its answer.
#include "service/server.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>

using namespace halvek::service;
using nlohmann::json;

namespace {

class FakeBackend : public ServiceBackend {
  public:
    StatusView status() override { return view; }
    DecideResult decide(int64_t episode, Action action) override {
        if (!open.count(episode)) return DecideResult::NoSuchEpisode;
        auto& d = open[episode];
        if (d && *d != action) return DecideResult::AlreadyDecided;
        d = action;
        return DecideResult::Ok;
    }
    void enable(const std::vector<int>& types) override { enabled = types; }
    void inhibit(bool on) override { inhibited = on; }
    Replay replayAfter(uint64_t since) override {
        Replay r;
        r.gap = since + 1 < firstHeld;
        r.first = firstHeld;
        for (const MoneyRecord& m : journal)
            if (m.event.seq > since) r.records.push_back(m);
        return r;
    }
    std::vector<MoneyRecord> unacked() override {
        std::vector<MoneyRecord> out;
        for (const MoneyRecord& m : journal)
            if (m.event.seq > acked && isOutcome(m)) out.push_back(m);
        return out;
    }
    void ack(uint64_t seq) override { acked = seq; }
    void onControllerPresent(bool present) override { controllerSeen.push_back(present); }

    StatusView view;
    std::map<int64_t, std::optional<Action>> open;
    std::vector<int> enabled;
    bool inhibited = false;
    std::vector<MoneyRecord> journal;
    uint64_t firstHeld = 1;
    uint64_t acked = 0;
    std::vector<bool> controllerSeen;
};

MoneyRecord record(uint64_t seq, halvek::MoneyKind kind, int64_t episode) {
    MoneyRecord r;
    r.event = {kind, 2, 10};
    r.event.seq = seq;
    r.event.episode = episode;
    r.currency = "EUR";
    r.timeMs = 1796944673000 + static_cast<int64_t>(seq);
    return r;
}

class ServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/halvekd-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        options.path = dir + "/halvekd.sock";
        options.release = "1.2";
        options.boot = "run1";
        options.device = "/dev/ttyS0";
    }
    void TearDown() override {
        server.reset();
        std::filesystem::remove_all(dir);
    }
    void start() {
        server = std::make_unique<Server>(backend, options, [this](const std::string& s) { log.push_back(s); });
        ASSERT_EQ(server->listen(), "");
    }

    struct Client {
        int fd = -1;
        std::string in;
        bool eof = false;
        ~Client() {
            if (fd >= 0) ::close(fd);
        }
    };

    std::unique_ptr<Client> connect() {
        auto c = std::make_unique<Client>();
        c->fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strcpy(a.sun_path, options.path.c_str());
        EXPECT_EQ(::connect(c->fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(read(*c)["class"], "VERSION");
        return c;
    }

    void write(Client& c, const std::string& text) {
        ASSERT_EQ(::send(c.fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
    }

    // Serves until the client has a whole line (or the connection ended): no
    // assumption on speed, only an upper bound so that a fault fails instead of hanging.
    std::optional<std::string> readLine(Client& c) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (;;) {
            const size_t nl = c.in.find('\n');
            if (nl != std::string::npos) {
                std::string line = c.in.substr(0, nl);
                c.in.erase(0, nl + 1);
                return line;
            }
            if (c.eof || std::chrono::steady_clock::now() > giveUp) return std::nullopt;
            server->runOnce(20);
            expectChangesSaid();
            char buf[65536];
            const ssize_t n = ::recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) c.in.append(buf, static_cast<size_t>(n));
            if (n == 0) c.eof = true;
        }
    }
    // An owner that renews its watches only when fdsChanges() moves must never
    // miss a change of fds(): a client it would not hear, or one it would spin on.
    void expectChangesSaid() {
        std::vector<std::pair<int, short>> now;
        for (const pollfd& p : server->fds()) now.emplace_back(p.fd, p.events);
        if (now != seenFds) {
            EXPECT_NE(server->fdsChanges(), seenChanges) << "fds() changed unsaid";
        }
        seenFds = std::move(now);
        seenChanges = server->fdsChanges();
    }
    json read(Client& c) {
        const auto line = readLine(c);
        if (!line) return json("end of connection");
        return json::parse(*line);
    }
    json ask(Client& c, const json& request) {
        write(c, request.dump() + "\n");
        return read(c);
    }

    std::string dir;
    ServerOptions options;
    FakeBackend backend;
    std::vector<std::string> log;
    std::unique_ptr<Server> server;
    std::vector<std::pair<int, short>> seenFds;
    uint64_t seenChanges = 0;
};

TEST_F(ServerTest, TheControllerDecidesObserversAndASecondControllerAreRefused) {
    backend.journal = {record(1, halvek::MoneyKind::Escrow, 1), record(2, halvek::MoneyKind::Stacked, 1),
                       record(3, halvek::MoneyKind::Credit, 1)};
    backend.acked = 2;
    backend.open[5] = std::nullopt;
    start();
    auto kiosk = connect();
    auto watcher = connect();
    auto intruder = connect();

    json h = ask(*kiosk, {{"cmd", "hello"}, {"name", "kiosk"}, {"role", "controller"}, {"id", 1}});
    EXPECT_EQ(h["class"], "HELLO");
    EXPECT_EQ(h["role"], "controller");
    EXPECT_EQ(h["id"], 1);
    ASSERT_EQ(h["unacked"].size(), 1u);
    EXPECT_EQ(h["unacked"][0]["seq"], 3);
    EXPECT_EQ(backend.controllerSeen, std::vector<bool>{true});

    EXPECT_EQ(ask(*watcher, {{"cmd", "hello"}, {"role", "observer"}})["role"], "observer");
    json refused = ask(*watcher, {{"cmd", "decide"}, {"episode", 5}, {"action", "accept"}, {"id", "w"}});
    EXPECT_EQ(refused["error"], "not-controller");
    EXPECT_EQ(refused["id"], "w");
    EXPECT_EQ(ask(*watcher, {{"cmd", "inhibit"}, {"on", true}})["error"], "not-controller");
    EXPECT_FALSE(backend.open[5]);
    EXPECT_FALSE(backend.inhibited);

    EXPECT_EQ(ask(*intruder, {{"cmd", "hello"}, {"role", "controller"}})["error"], "controller-taken");

    EXPECT_EQ(ask(*kiosk, {{"cmd", "decide"}, {"episode", 5}, {"action", "accept"}})["class"], "OK");
    EXPECT_EQ(backend.open[5], Action::Accept);
    EXPECT_EQ(ask(*kiosk, {{"cmd", "decide"}, {"episode", 5}, {"action", "accept"}})["class"], "OK");
    EXPECT_EQ(ask(*kiosk, {{"cmd", "decide"}, {"episode", 5}, {"action", "return"}})["error"], "already-decided");
    EXPECT_EQ(ask(*kiosk, {{"cmd", "decide"}, {"episode", 6}, {"action", "return"}})["error"], "no-such-episode");
    EXPECT_EQ(ask(*kiosk, {{"cmd", "enable"}, {"types", {1, 3}}})["class"], "OK");
    EXPECT_EQ(backend.enabled, (std::vector<int>{1, 3}));
    EXPECT_EQ(ask(*kiosk, {{"cmd", "ack"}, {"seq", 3}})["class"], "OK");
    EXPECT_EQ(backend.acked, 3u);

    // The same user may take the role over; the old connection is told and stays an observer.
    EXPECT_EQ(ask(*intruder, {{"cmd", "hello"}, {"role", "controller"}, {"takeover", true}})["role"], "controller");
    EXPECT_EQ(read(*kiosk)["kind"], "role");
    EXPECT_EQ(ask(*kiosk, {{"cmd", "ack"}, {"seq", 3}})["error"], "not-controller");
    EXPECT_EQ(backend.controllerSeen, std::vector<bool>{true});

    intruder.reset();  // the controller goes
    EXPECT_EQ(ask(*watcher, {{"cmd", "status"}})["class"], "STATUS");
    EXPECT_EQ(backend.controllerSeen, (std::vector<bool>{true, false}));
    EXPECT_FALSE(server->hasController());
}

TEST_F(ServerTest, MalformedLinesAreAnsweredAndAnOverlongOneClosesOnlyItsConnection) {
    start();
    auto bad = connect();
    auto other = connect();
    for (const char* line : {"hello\n", "{\"cmd\":\"decide\"}\n", "[]\n", "{\"cmd\":\"status\"\n"}) {
        write(*bad, line);
        EXPECT_EQ(read(*bad)["error"], "bad-request") << line;
    }
    EXPECT_EQ(ask(*bad, {{"cmd", "status"}, {"colour", "blue"}})["class"], "STATUS");

    // An overlong line, sent in pieces, without its end.
    const std::string chunk(16 * 1024, 'x');
    for (int i = 0; i < 5; ++i) write(*bad, chunk);
    json e = read(*bad);
    EXPECT_EQ(e["error"], "bad-request");
    EXPECT_FALSE(readLine(*bad));
    EXPECT_TRUE(bad->eof);

    EXPECT_EQ(ask(*other, {{"cmd", "status"}})["class"], "STATUS");
    EXPECT_EQ(server->clientCount(), 1u);
}

TEST_F(ServerTest, WatchSinceReplaysTheMissedRecordsThenStreams) {
    backend.journal = {record(4, halvek::MoneyKind::Escrow, 2), record(5, halvek::MoneyKind::Decision, 2),
                       record(6, halvek::MoneyKind::Stacked, 2)};
    backend.firstHeld = 4;
    start();
    auto late = connect();
    write(*late, json({{"cmd", "watch"}, {"since", 4}}).dump() + "\n");
    EXPECT_EQ(read(*late)["seq"], 5);
    EXPECT_EQ(read(*late)["seq"], 6);
    EXPECT_EQ(read(*late)["class"], "OK");

    auto old = connect();
    write(*old, json({{"cmd", "watch"}, {"since", 1}}).dump() + "\n");
    json gap = read(*old);
    EXPECT_EQ(gap["class"], "GAP");
    EXPECT_EQ(gap["first"], 4);
    EXPECT_EQ(read(*old)["seq"], 4);

    auto idle = connect();  // not watching: hears nothing live
    server->publish(record(7, halvek::MoneyKind::Credit, 2));
    server->publishNotice("link", "no answer", 0);
    EXPECT_EQ(read(*late)["seq"], 7);
    EXPECT_EQ(read(*late)["text"], "no answer");
    EXPECT_EQ(ask(*idle, {{"cmd", "status"}})["class"], "STATUS");
}

TEST_F(ServerTest, AClientThatNeverReadsIsDroppedWithoutHoldingUpTheOthers) {
    options.queueBound = 64 * 1024;
    start();
    auto stuck = connect();
    auto reader = connect();
    ASSERT_EQ(ask(*stuck, {{"cmd", "watch"}})["class"], "OK");
    ASSERT_EQ(ask(*reader, {{"cmd", "watch"}})["class"], "OK");

    MoneyRecord big = record(1, halvek::MoneyKind::InDoubt, 1);
    big.event.reason = std::string(1000, 'r');
    // Every publish returns at once: the sockets never block. The reader keeps up.
    uint64_t seq = 0;
    while (server->droppedCount() == 0 && seq < 100000) {
        big.event.seq = ++seq;
        server->publish(big);
        expectChangesSaid();
        EXPECT_EQ(read(*reader)["seq"], seq);
    }
    server->tidy();  // the loop closes what was dropped after its round
    expectChangesSaid();
    EXPECT_EQ(server->droppedCount(), 1u);
    EXPECT_EQ(server->clientCount(), 1u);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("did not read"), std::string::npos) << log.back();
}

TEST_F(ServerTest, TheSocketFileIsGroupOnlyALiveOneIsRefusedAStaleOneReplaced) {
    start();
    struct stat st {};
    ASSERT_EQ(::stat(options.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    Server second(backend, options, [](const std::string&) {});
    EXPECT_NE(second.listen().find("in use by a running daemon"), std::string::npos);
    ASSERT_EQ(::stat(options.path.c_str(), &st), 0);  // still there for the first

    // A socket file nobody listens on, as a killed daemon leaves it.
    server.reset();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, options.path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(fd);
    start();
    auto c = connect();
    EXPECT_EQ(ask(*c, {{"cmd", "status"}})["class"], "STATUS");

    ServerOptions plain = options;
    plain.path = dir + "/file";
    std::FILE* f = std::fopen(plain.path.c_str(), "w");
    std::fclose(f);
    Server onFile(backend, plain, [](const std::string&) {});
    EXPECT_NE(onFile.listen().find("is not a socket"), std::string::npos);
}

}  // namespace
