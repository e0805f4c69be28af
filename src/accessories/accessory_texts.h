#pragma once

namespace halvek::text {

// The fixed texts of the cassette, ticket printer and accept-all windows.

// Cassette data.
inline constexpr const char* kCassetteDataCaption = "L8V Kestrel Cassette Data";
inline constexpr const char* kNoCassetteAttached = "No Cassette Attached";
inline constexpr const char* kEnterNumberAboveZero = "Enter number greater than zero";
inline constexpr const char* kIdExistsFormat = "The ID number %s already exists.\r\n Please select new number.";
inline constexpr const char* kWriteIdTitle = "Write new ID cmd";
inline constexpr const char* kWriteIdFormat = "Write ID: %s to stacker's memory ? \r\n Click on OK  to continue";
inline constexpr const char* kEraseTitle = "Erase data cmd";
inline constexpr const char* kEraseQuestion = "The SDA data block will be erased. \r\n Click on OK to continue.";
inline constexpr const char* kDefaultIdLog = "CassId.txt";
inline constexpr const char* kBillCountsTitle = "Bill Counts";
inline constexpr const char* kFaultCountsTitle = "Fault Counts";
inline constexpr const char* kNextPage = "Next >>";
inline constexpr const char* kPrevPage = "<< Prev";
inline constexpr const char* kIdLogWriteFailed = "The ID was written, but the ID log could not be written";
inline constexpr const char* kIdLogReadFailed = "The ID log could not be read";

// Cassette controls.
inline constexpr const char* kCassetteControlsCaption = "Kestrel Cassette Controls";
inline constexpr const char* kSensorClosed = "CLOSED";
inline constexpr const char* kSensorOpen = "OPEN";
inline constexpr const char* kCassetteAttached = "ATTACHED";
inline constexpr const char* kCassetteDetached = "DETACHED";

// Ticket printer.
inline constexpr const char* kPrinterCaption = "Ithaca 800 BarCode printer";
inline constexpr const char* kNoConnection2 = "No Connection 2";
inline constexpr const char* kDigitsOnly = "Enter digits only!";
inline constexpr const char* kOpenPort = "OPEN PORT";
inline constexpr const char* kClosePort = "close port";
inline constexpr const char* kHintOpenPort = "Click here to Open Port";
inline constexpr const char* kHintClosePort = "Click here to Close Port";
inline constexpr const char* kTicketTitle = "- BAR CODE TICKET -";
inline constexpr const char* kMakerName = "QORVANE, INC.";
inline constexpr const char* kTelephoneLine = "TEL: 1-800-555-0142";
inline constexpr const char* kTicketNotPrinted = "ticket not printed: ";
inline constexpr const char* kCouponTicketNotPrinted = "coupon ticket not printed: ";
inline constexpr const char* kPrinterIsValidatorPort = "the printer port is the validator's own port";

// Accept-all.
inline constexpr const char* kAcceptAllCaption = "Varnik Optional Cmd";
inline constexpr const char* kStandardMode = "STANDARD VALIDATING MODE";
inline constexpr const char* kAcceptAllMode = "NO VALIDATING - ACCEPT ALL MODE";

}  // namespace halvek::text
