#pragma once

#include <string>
#include <vector>

#include "serial/port_choices.h"

class QComboBox;

namespace halvek::ui {

// Fills the COM choice from portChoices(): the COM entries keep their places
// (index n - 1 is COM n), the detected devices follow. Each item carries its COM
// number and device path; the tooltip tells what the adapter is. The list opens
// wide enough for the by-id names even when the box itself is narrow.
void fillPortChoices(QComboBox* box, const std::vector<PortChoice>& choices, int selectedCom);

struct ChosenPort {
    int comNumber = 0;  // 0: a detected device, to be put behind the COM entry in use
    std::string path;
};
ChosenPort chosenPort(const QComboBox* box, int index);

}  // namespace halvek::ui
