#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "link/link_controller.h"
#include "link/status_listener.h"
#include "link/user_interface.h"
#include "serial/comm_block.h"
#include "serial/framers.h"
#include "serial/port_map.h"

namespace halvek::fuzz {

// A user interface that shows nothing but counts its messages: the targets look at the stores.
class QuietUi : public NullUserInterface {
  public:
    Answer showMessage(const Message&) override {
        ++messages;
        return Answer::Ok;
    }
    int messages = 0;
};

// The host side of a line without a port: the three framers the reader thread
// drives, fed by the target, delivering straight into the controller on the
// same thread. Around every delivery it keeps a ledger of what the replies
// allow, and checks that the controller did no more than that:
// - a reply is read only inside the frame received (the rest of the receive
//   buffer is poisoned for AddressSanitizer while the controller reads it);
// - a money event (bill or coupon stacked) comes with a sound reply: a status
//   reply that says "stacked", the bill table's reply (for bills stacked before
//   the table was known) or the unit's bill count (for an accepted bill whose
//   stacked report was lost); and there are never more of them than such
//   status replies plus the rises of the unit's count;
// - an escrow accept leaves only after a status reply offered a bill in escrow;
// - with the credit limit on, the credited total never passes the limit.
class LinkRig : public NotificationSink, private StatusListener {
  public:
    explicit LinkRig(bool extended);
    ~LinkRig() override;

    // As the reader thread does once the waiting frame is written.
    void writeWaiting();
    // Bytes that arrived, framed by the current receive mode.
    void receive(std::span<const uint8_t> chunk);
    // A whole frame handed over as the protocol framer would (the status target).
    void deliverFrame(std::span<const uint8_t> frame);
    // One tick of the poll timer, with the credit limit watched across it.
    void tick();
    // What a user asking for a command looks like to the controller.
    void userRequest(uint8_t code);
    void setReceiveMode(ReceiveMode mode) { block.receiveMode.store(mode); }
    // The reader lost and reopened its port: every framer starts afresh.
    void resetFramers();

    bool deliver(Notification n) override;
    void cancel() override {}

    QuietUi ui;
    CommBlock block;
    Stores stores;
    PortMap ports;
    LinkController controller{block, stores, ui, ports};
    ReceiveFramers framers{block};

    int replies = 0;          // ReplyReady deliveries
    int stackedStatuses = 0;  // status replies that said "stacked"
    int64_t countRises = 0;   // how far the unit's bill count rose in the replies that carried it
    int moneyEvents = 0;

  private:
    void couponStacked(const std::string& code) override;
    void checkReply(std::span<const uint8_t> frame, uint32_t eventsBefore, int couponsBefore);
    bool escrowOffered_ = false;
    bool userAskedAccept_ = false;
    int coupons_ = 0;
    bool countSeen_ = false;
    uint32_t lastCount_ = 0;
};

}  // namespace halvek::fuzz
