#pragma once

#include <QLineEdit>
#include <optional>

#include "link/texts.h"
#include "link/user_interface.h"
#include "pages/common/entry_check.h"

namespace halvek::ui {

// Reads a number box for a button that sends it: a refused entry is said in
// the framework's words, the box takes the focus, and nothing is sent.
inline std::optional<uint32_t> takeEntry(QLineEdit* box, uint32_t lowest, uint32_t highest, UserInterface& ui) {
    const EntryCheck c = checkEntry(box->text().toStdString(), lowest, highest);
    if (c.value) return c.value;
    ui.showMessage({text::kInfo, c.message});
    box->setFocus();
    box->selectAll();
    return std::nullopt;
}

}  // namespace halvek::ui
