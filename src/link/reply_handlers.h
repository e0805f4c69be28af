#pragma once

#include "link/command_table.h"
#include "link/stores.h"

namespace halvek::handlers {

// Replies that do more than store.
void programRevision(LinkController& link, const Reply& r);
void setupByte(LinkController& link, const Reply& r);
void creditTable(LinkController& link, const Reply& r);
void unitOptions(LinkController& link, const Reply& r);
void cassetteBills(LinkController& link, const Reply& r);
void diagnostics0(LinkController& link, const Reply& r);
void diagnostics1(LinkController& link, const Reply& r);
void lifeCount(LinkController& link, const Reply& r);
void videoSamples(LinkController& link, const Reply& r);

}  // namespace halvek::handlers
