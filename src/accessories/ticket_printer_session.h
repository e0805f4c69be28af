#pragma once

#include <functional>
#include <string>

#include "accessories/ticket_bytes.h"
#include "link/link_controller.h"
#include "link/status_listener.h"
#include "link/stores.h"
#include "link/user_interface.h"
#include "serial/port_map.h"
#include "serial/serial_port.h"

namespace halvek {

class TicketPrinterListener {
  public:
    virtual ~TicketPrinterListener() = default;
    // The port opened or closed, or the port choice changed.
    virtual void printerChanged() = 0;
    // A ticket could not be written whole: what was lost and why.
    virtual void printFailed(const std::string& text, const std::string& reason) = 0;
};

// The bar-code ticket printer on its own serial line (COM 1 to COM 4, 9600
// baud, 8N1). The port and its state belong to the program, not to a window:
// coupon tickets go on printing while the port is open, window or not.
// Its owner registers it with the controller as a status listener, so that a
// stacked coupon prints its ticket while the port is open.
class TicketPrinterSession : public StatusListener {
  public:
    static constexpr int kBaud = 9600;
    static constexpr int kPorts = 4;
    static constexpr size_t kMaxDigits = 24;

    // A ticket that is not printed is added to the event list: through the
    // controller, so that its listeners (the money journal, the monitor) learn
    // of it too, or straight into a list of its own for a tool without a link.
    TicketPrinterSession(const PortMap& ports, UserInterface& ui, LinkController& link)
        : ports_(ports), ui_(ui), addEvent_([&link](const std::string& t) { link.addEvent(t); }) {}
    TicketPrinterSession(const PortMap& ports, UserInterface& ui, EventList& events)
        : ports_(ports), ui_(ui), addEvent_([&events](const std::string& t) { events.add(t); }) {}
    void setListener(TicketPrinterListener* listener) { listener_ = listener; }
    // The validator's device, which the printer must never open as well.
    void setValidatorPath(std::function<std::string()> path) { validatorPath_ = std::move(path); }
    // Told whenever the port opens or closes (the status decoding asks for coupon tickets only then).
    void setOpenObserver(std::function<void(bool)> observer) { openObserver_ = std::move(observer); }

    // 0 to 3 for COM 1 to COM 4; refused while the port is open.
    bool setPortIndex(int index);
    int portIndex() const { return portIndex_; }
    std::string portPath() const { return portPathFor(portIndex_); }
    std::string portPathFor(int index) const { return ports_.pathFor(index + 1); }

    // OPEN PORT: opens or closes. An open that fails says "No Connection 2"
    // with the device and the reason.
    bool togglePort();
    bool openPort();
    void closePort();
    bool isOpen() const { return port_.isOpen(); }

    // Print: the digits typed (1 to 24, "0" to "9" only). False when refused or not printed.
    bool print(const std::string& digits);
    const std::string& digitBuffer() const { return digitBuffer_; }

    // Entry point for the status decoding: a coupon was stacked. Prints its
    // ticket if the port is open; a ticket that cannot be written, or a code
    // that cannot go on one (couponCodeFault), is reported and nothing is sent.
    void onCouponStacked(const std::string& code);
    void couponStacked(const std::string& code) override { onCouponStacked(code); }

    const std::string& lastError() const { return lastError_; }

  private:
    bool write(const Ticket& ticket, const std::string& what);
    void lost(const std::string& text);
    void changed();

    const PortMap& ports_;
    UserInterface& ui_;
    std::function<void(const std::string&)> addEvent_;
    TicketPrinterListener* listener_ = nullptr;
    std::function<std::string()> validatorPath_;
    std::function<void(bool)> openObserver_;
    PrinterPort port_;
    int portIndex_ = 0;
    std::string digitBuffer_;
    std::string lastError_;
};

// Whether two device paths name the same line (links and aliases resolved).
bool samePort(const std::string& a, const std::string& b);

}  // namespace halvek
