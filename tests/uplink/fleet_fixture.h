#pragma once

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"

struct mosquitto;
struct mosquitto_message;

namespace halvek::uplink::test {

using halvek::test::waitUntil;

// A folder of its own for one test, removed after it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// A port on 127.0.0.1 nothing listens on just now.
int freePort();

// A child process with its stderr in a file.
class Process {
  public:
    Process() = default;
    ~Process() { kill(SIGKILL); }
    void start(const std::vector<std::string>& argv, const std::string& stderrFile);
    void kill(int signal);
    bool running();
    // The exit status after the process ended (waits up to the deadline), or -1.
    int waitExit(std::chrono::milliseconds deadline);
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// The uplink's command line for one kiosk of the site "lab": a config file of
// its own that says nothing (the machine's /etc/halvek/uplink.conf is never
// read), the service's socket, the broker on 127.0.0.1 and the kiosk's state
// file in `dir`; `extra` goes last.
std::vector<std::string> uplinkArgs(const TempDir& dir, const std::string& socket, int port,
                                    const std::vector<std::string>& extra = {}, const std::string& kiosk = "k1");

// A mosquitto of the test's own on 127.0.0.1, with a generated config.
class Broker {
  public:
    // With a password file the broker takes only the users in it; `extra` is
    // added to the generated config as it is.
    Broker(const TempDir& dir, int port, const std::string& passwordFile = "", const std::string& extra = "");
    void start();
    void kill() { process_.kill(SIGKILL); }
    int port() const { return port_; }

  private:
    std::string config_;
    std::string log_;
    int port_;
    Process process_;
};

// Plays halvekd's socket: a journal of money records numbered from 1, replayed
// from any seq on "watch" and streamed live as they are added.
class FakeService {
  public:
    explicit FakeService(std::string path);
    ~FakeService();
    void add(int count);  // adds stacked records
    // While held, connections wait for their greeting (as while the service starts).
    void hold(bool on);
    int connections() const { return connections_.load(); }
    const std::string& path() const { return path_; }

  private:
    struct Client {
        int fd;
        std::string in, out;
        bool live = false;
    };
    void loop();
    void serve(Client& c, const std::string& line);
    std::string record(uint64_t seq) const;

    std::string path_;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    uint64_t count_ = 0;  // records in the journal
    uint64_t sentLive_ = 0;
    bool held_ = false;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Subscribes to halvek/v1/# and keeps what arrives.
class Subscriber {
  public:
    // Told of every money record as it arrives (on libmosquitto's thread): the
    // kiosk's topic level and the record's seq.
    using MoneyHook = std::function<void(const std::string& kiosk, uint64_t seq)>;

    explicit Subscriber(int port, MoneyHook hook = {});
    ~Subscriber();
    // The distinct money seqs seen, and whether every message carried a seq.
    std::set<uint64_t> moneySeqs();
    size_t moneyMessages();
    std::string last(const std::string& leaf);  // the last payload on .../<leaf>
    int subscriptions() const { return subscriptions_.load(); }
    // Every seq from 1 to count seen (a set of count numbers from 1 up, ending at count).
    bool seenAll(uint64_t count) {
        const auto s = moneySeqs();
        return s.size() == count && (count == 0 || (*s.begin() == 1 && *s.rbegin() == count));
    }
    // Messages on money that were not a record with its seq and kind.
    size_t badMoney() {
        std::lock_guard lock(mutex_);
        return badMoney_;
    }
    // Seqs that came again as another record (another kind or episode): a
    // receiver dropping duplicates by seq would lose one of them.
    size_t clashes() {
        std::lock_guard lock(mutex_);
        return clashes_;
    }

  private:
    static void onConnect(mosquitto*, void*, int);
    static void onSubscribe(mosquitto*, void*, int, int, const int*);
    static void onMessage(mosquitto*, void*, const mosquitto_message*);
    MoneyHook hook_;
    mosquitto* client_ = nullptr;
    std::mutex mutex_;
    std::multiset<uint64_t> seqs_;
    std::map<uint64_t, std::string> identity_;  // by seq: the record's kind and episode
    size_t badMoney_ = 0;
    size_t clashes_ = 0;
    std::map<std::string, std::string> last_;
    std::atomic<int> subscriptions_{0};
};

}  // namespace halvek::uplink::test
