#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/shown_code.h"

namespace halvek {

// The bar-code ticket printer's command elements and the two tickets built
// from them. A ticket is a list of elements, written to the printer one at a
// time in this order.
using TicketElement = std::vector<uint8_t>;
using Ticket = std::vector<TicketElement>;

namespace ticket {
TicketElement reset();                                                     // ESC @
TicketElement gsN(uint8_t n);                                              // GS N n
TicketElement gsT(uint8_t n);                                              // GS T n
TicketElement gst(uint8_t n);                                              // GS t n
TicketElement gsV1();                                                      // GS V 1
TicketElement escY(uint8_t n);                                             // ESC Y n
TicketElement gsl(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e);  // GS l a b c d e
TicketElement gsA(uint8_t a, uint8_t b);                                   // GS A a b
TicketElement gsW(uint8_t a, uint8_t b);                                   // GS W a b
TicketElement gsh(uint8_t n);                                              // GS h n
TicketElement barCode(std::string_view data);                              // GS k 7 n data (at most 255 characters)
TicketElement escX(uint8_t a, uint8_t b);                                  // ESC X a b
TicketElement escM();                                                      // ESC M
TicketElement printText(std::string_view s);                               // the characters, no terminator
TicketElement formFeed();                                                  // FF
}  // namespace ticket

// The ticket printed from the window for the digits typed.
Ticket windowTicket(std::string_view digits);
// The ticket printed for a stacked coupon, carrying its code; empty for a
// code that couponCodeFault refuses.
Ticket couponTicket(std::string_view code);

// Why a coupon code cannot go on a ticket, or empty when it can. The code is
// both the bar code and a text line, so it must be 1 to 255 printable ASCII
// characters: a control byte (ESC, GS, FF, ...) would reach the printer as a
// command of its own, in the middle of a ticket that is money.
std::string couponCodeFault(std::string_view code);

// All elements one after the other.
std::vector<uint8_t> ticketBytes(const Ticket& ticket);

}  // namespace halvek
