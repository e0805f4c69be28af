#include "accessories/ticket_bytes.h"

#include <cstdio>

#include "accessories/accessory_texts.h"

namespace halvek {

namespace ticket {
namespace {
constexpr uint8_t ESC = 0x1B, GS = 0x1D;
}

TicketElement reset() { return {ESC, 0x40}; }
TicketElement gsN(uint8_t n) { return {GS, 'N', n}; }
TicketElement gsT(uint8_t n) { return {GS, 'T', n}; }
TicketElement gst(uint8_t n) { return {GS, 't', n}; }
TicketElement gsV1() { return {GS, 'V', 1}; }
TicketElement escY(uint8_t n) { return {ESC, 'Y', n}; }
TicketElement gsl(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e) { return {GS, 'l', a, b, c, d, e}; }
TicketElement gsA(uint8_t a, uint8_t b) { return {GS, 'A', a, b}; }
TicketElement gsW(uint8_t a, uint8_t b) { return {GS, 'W', a, b}; }
TicketElement gsh(uint8_t n) { return {GS, 'h', n}; }
TicketElement barCode(std::string_view data) {
    if (data.size() > 255) data = data.substr(0, 255);
    TicketElement e{GS, 'k', 7, static_cast<uint8_t>(data.size())};
    for (const char c : data) e.push_back(static_cast<uint8_t>(c));
    return e;
}
TicketElement escX(uint8_t a, uint8_t b) { return {ESC, 'X', a, b}; }
TicketElement escM() { return {ESC, 'M'}; }
TicketElement printText(std::string_view s) { return TicketElement(s.begin(), s.end()); }
TicketElement formFeed() { return {0x0C}; }

}  // namespace ticket

namespace {

using namespace ticket;

constexpr size_t kLongestBarCode = 255;  // the bar code's length is one byte

bool printable(char c) { return c >= 0x20 && c <= 0x7E; }

std::string hexByte(char c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
    return buf;
}

void add(Ticket& t, std::initializer_list<TicketElement> elements) { t.insert(t.end(), elements); }

void addHeader(Ticket& t) { add(t, {reset(), gsN(65), gsT(0), gst(60), gsV1()}); }
void addBarCode(Ticket& t, std::string_view data) {
    add(t, {escY(21), gsA(0, 100), gsW(4, 11), gsh(120), barCode(data)});
}
void addLines(Ticket& t) { add(t, {escY(15), gsl(0, 10, 4, 0, 7), escY(43), gsl(0, 10, 4, 2, 7)}); }
void addNumberLine(Ticket& t, std::string_view data) { add(t, {escX(0, 100), escY(39), printText(data)}); }
void addMaker(Ticket& t) {
    add(t, {escX(1, 10), escY(45), escM(), printText(text::kTicketTitle), escX(1, 0), escY(4),
            printText(text::kMakerName), escX(1, 60), escY(9), printText(text::kTelephoneLine)});
}

}  // namespace

Ticket windowTicket(std::string_view digits) {
    Ticket t;
    addHeader(t);
    addBarCode(t, digits);
    addLines(t);
    addMaker(t);
    addNumberLine(t, digits);
    t.push_back(formFeed());
    return t;
}

std::string couponCodeFault(std::string_view code) {
    if (code.empty()) return "the coupon has no code";
    if (code.size() > kLongestBarCode)
        return "the code has " + std::to_string(code.size()) + " characters, a bar code at most 255";
    for (const char c : code)
        if (!printable(c)) return "the code holds the byte " + hexByte(c) + ", which is not a printable character";
    return {};
}

Ticket couponTicket(std::string_view code) {
    if (!couponCodeFault(code).empty()) return {};
    Ticket t;
    addHeader(t);
    addLines(t);
    addBarCode(t, code);
    addNumberLine(t, code);
    addMaker(t);
    t.push_back(formFeed());
    return t;
}

std::vector<uint8_t> ticketBytes(const Ticket& ticket) {
    std::vector<uint8_t> out;
    for (const TicketElement& e : ticket) out.insert(out.end(), e.begin(), e.end());
    return out;
}

}  // namespace halvek
