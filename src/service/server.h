#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/backend.h"
#include "service/protocol.h"

namespace halvek::service {

struct ServerOptions {
    std::string path;             // the socket file
    std::optional<gid_t> group;   // the socket file's group (else the process's)
    size_t queueBound = 1 << 20;  // unsent bytes a client may hold before it is dropped
    std::string release;          // VERSION: the program's version
    std::string boot;             // VERSION: the id of this daemon run
    std::string device;           // VERSION: the line the daemon serves
};

// The service's Unix stream socket and its clients, on one thread without ever
// blocking: the owner watches fds() in its poll() and hands back what it saw
// with handle(). A client that does not read is dropped once its unsent output
// passes the bound, so no client can hold up the loop or the link.
//
// Roles: any number of observers, at most one controller. Observers read and
// watch; deciding, enabling, inhibiting and acking is the controller's alone.
class Server {
  public:
    using Log = std::function<void(const std::string&)>;
    Server(ServiceBackend& backend, ServerOptions options, Log log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Creates the socket file (mode 0660). A path held by a live daemon is
    // refused, a stale one replaced. "" on success, else the reason.
    std::string listen();
    // Takes a listening socket handed over by the service manager.
    std::string adopt(int fd);

    // The descriptors to watch and for what; handle() takes poll's answer for one.
    std::vector<pollfd> fds() const;
    void handle(const pollfd& ready);
    // Moves whenever fds() would answer differently: a client came or went, or
    // one is now watched for other events (output waiting, or no more input
    // taken). An owner that keeps its own watches renews them only then.
    uint64_t fdsChanges() const { return fdsChanges_; }
    // One round: poll for at most timeoutMs and handle what is ready.
    void runOnce(int timeoutMs);

    // Live happenings to every watching client.
    void publish(const MoneyRecord& record);
    void publishNotice(const std::string& kind, const std::string& text, int64_t timeMs);

    // Closes the clients found gone or dropped since the last call (and tells
    // the backend when the controller was one). The loop calls it after each
    // round; publish() does not, as it may be called from inside a request.
    void tidy() { reap(); }

    bool hasController() const { return controller_ >= 0; }
    size_t clientCount() const { return clients_.size(); }
    size_t droppedCount() const { return dropped_; }

  private:
    struct Client;
    void acceptAll();
    void readFrom(Client& c);
    void writeTo(Client& c);
    void send(Client& c, const std::string& line);
    void serve(Client& c, const std::string& line);
    void hello(Client& c, const Request& r);
    void watch(Client& c, const Request& r);
    void controllerCommand(Client& c, const Request& r);
    void drop(Client& c, const std::string& why);
    void reap();
    Client* find(int fd);
    static short eventsOf(const Client& c);
    // Counts a change of the client's events since they were last counted.
    void noteEvents(Client& c);

    ServiceBackend& backend_;
    ServerOptions options_;
    Log log_;
    int listener_ = -1;
    bool ownsPath_ = false;
    int controller_ = -1;  // the controller's descriptor
    size_t dropped_ = 0;
    uint64_t fdsChanges_ = 0;
    std::vector<std::unique_ptr<Client>> clients_;
};

}  // namespace halvek::service
