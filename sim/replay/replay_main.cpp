#include "replay_main.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "replay_server.h"
#include "sim/bounded_file.h"

namespace halvek::sim {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) { stopRequested = 1; }

bool makeLink(const std::string& device, const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = path + " exists and is not a symbolic link: left alone";
            return false;
        }
        ::unlink(path.c_str());
    }
    if (::symlink(device.c_str(), path.c_str()) != 0) {
        error = "cannot link " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int runReplay(const ReplayOptions& o) {
    std::string text, error;
    // The biggest capture the host writes (its largest limit and the line past it) fits.
    static constexpr size_t kCaptureLimit = 256000000 + 4096;
    if (!readBoundedFile(o.file, kCaptureLimit, "the capture", text, error)) {
        std::cerr << "halvek-sim: " << error << "\n";
        return 1;
    }
    const CaptureTrace trace = parseCapture(text);
    if (!trace.stoppedAt.empty())
        std::cerr << "halvek-sim: " << o.file << ": " << trace.stoppedAt
                  << (trace.frames.empty() ? "" : "; replaying what comes before it") << "\n";
    ReplayServer server(trace);
    if (server.exchangeCount() == 0) {
        std::cerr << "halvek-sim: " << o.file << " holds no command to answer\n";
        return 1;
    }
    if (!o.quiet) server.setLog([](const std::string& line) { std::cerr << "replay: " << line << std::endl; });
    server.setKeepTime(o.keepTime);
    if (!server.start(&error)) {
        std::cerr << "halvek-sim: " << error << "\n";
        return 1;
    }
    std::cout << "device: " << server.devicePath() << std::endl;
    if (!o.link.empty()) {
        if (!makeLink(server.devicePath(), o.link, error)) {
            std::cerr << "halvek-sim: " << error << "\n";
            return 1;
        }
        std::cout << "link: " << o.link << std::endl;
    }
    if (!o.quiet)
        std::cerr << "replay: " << server.exchangeCount() << " captured exchanges from " << o.file << std::endl;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!stopRequested) pause();
    server.stop();
    if (!o.link.empty()) ::unlink(o.link.c_str());
    return 0;
}

}  // namespace halvek::sim
