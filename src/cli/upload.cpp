#include "upload.h"

#include "cli/file_target.h"
#include "cli/terminal_text.h"
#include "cli/usage.h"
#include "download.h"
#include "firmware/firmware_texts.h"
#include "firmware/link_access.h"
#include "firmware/upload_session.h"

namespace halvek::cli {
namespace {

using Clock = std::chrono::steady_clock;

const char* kUsage =
    "usage: halvek-cli upload FILE (--port PATH | --com N | --simulate) [--q7 | --q7e] [--scenario CMD]...\n"
    "  Reads the unit's program into FILE (a firmware file). FILE is written only when every packet\n"
    "  has passed its check; a transfer that breaks off leaves it as it was.\n"
    "  --simulate    a simulated unit inside; --scenario passes it a command (e.g. \"corrupt-packet 3\")\n"
    "exit codes: 0 done, 1 failed (the reason on stderr), 2 bad command line (the usage on stderr)\n";

class ConsoleUpload : public UploadListener {
  public:
    explicit ConsoleUpload(Progress& progress) : progress_(progress) {}
    void packetLineShown(const std::string& text) override { packetLine = text; }
    void statusShown(const std::string& text) override {
        if (status == fwtext::kUploading) progress_.start();  // the header is in: packets follow
        status = text;
    }
    void progressShown(uint32_t done, uint32_t total) override { progress_.show(done, total); }
    std::string status, packetLine;

  private:
    Progress& progress_;
};

}  // namespace

int runUpload(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    LineOptions o;
    std::string complaint;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << kUsage;
            return 0;
        }
        if (args[i] == "--dry-run" || !o.parse(args, i, complaint)) {
            err << "halvek-cli upload: " << (complaint.empty() ? "bad option " + args[i] : complaint) << "\n" << kUsage;
            return 2;
        }
    }
    if (!o.complete(complaint)) {
        err << "halvek-cli upload: " << complaint << "\n" << kUsage;
        return 2;
    }

    // Before any transfer: a folder or a read-only file would only fail, or be replaced, at the end.
    if (const std::string why = unwritableTarget(o.file); !why.empty()) {
        err << "upload failed: " << why << std::endl;
        return 1;
    }

    HostSession line("halvek-cli upload", err);
    if (!prepareLine(o, line, out, err)) return 1;
    ControllerHost& host = line.host();
    if (!probeUnit(line, std::chrono::seconds(3))) {
        const std::string reason = host.block.port.isOpen()
                                       ? "No connection: the unit on " + host.controller.portPath() + " does not answer"
                                       : host.block.port.lastError();
        err << "upload failed: " << escapeForTerminal(reason) << std::endl;
        return 1;
    }

    Progress progress(out, isTerminal(out), "packets");
    ConsoleUpload listener(progress);
    LinkAccess link(host.controller, line.ui());
    UploadSession session(host.block, link, listener);
    host.controller.setTransferHandler([&session](Notification n) {
        if (n == Notification::BlockReady) session.onBlockReady();
    });
    const auto started = Clock::now();
    if (!session.start(o.file)) {
        err << "upload failed: " << session.failure() << std::endl;
        return 1;
    }
    line.runUntil([&session] { return !session.active(); }, Clock::time_point::max(),
                  RunHooks::every(std::chrono::milliseconds(100), [&session] { session.onTick(); }));
    progress.end();
    host.controller.setTransferHandler({});
    line.close();
    const double secs = std::chrono::duration<double>(Clock::now() - started).count();
    if (!session.completed()) {
        // The status line may already be the failure: it is said once.
        std::string why = listener.status;
        if (why != session.failure()) why += " " + session.failure();
        err << "upload failed: " << why << "; " << listener.packetLine << std::endl;
        return 1;
    }
    char summary[200];
    std::snprintf(summary, sizeof summary, "upload done: %s, %u packets in %.1f s, file CRC_32 %s", o.file.c_str(),
                  session.packetsTotal(), secs, hex8(session.crc32()).c_str());
    out << summary << std::endl;
    return 0;
}

}  // namespace halvek::cli
