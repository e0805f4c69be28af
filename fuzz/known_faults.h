#pragma once

namespace halvek::fuzz {

// Faults of the link that are known and being mended on another branch. Each is
// probed once with a small fixed exchange: while the probe still shows the
// fault, the property it breaks is not asserted (a line on stderr says so), so
// the fuzzer can look past it; once the mend lands the property is asserted
// with no change here. HALVEK_FUZZ_STRICT=1 asserts them all regardless, and
// UBSAN_OPTIONS=suppressions= stops at the undefined behaviour named in
// known_open.supp too (`scripts/fuzz --strict` sets both; CI runs it so). The
// inputs that showed the faults mended so far stay in the seed corpora.
enum class KnownFault {
    // An escrow accept decided for one bill credits the value of a later one,
    // past the credit limit.
    CreditPassesLimit,
    Count  // how many there are
};

bool knownFaultOpen(KnownFault fault);
// HALVEK_FUZZ_STRICT=1: every known fault is asserted.
bool strictMode();

}  // namespace halvek::fuzz
