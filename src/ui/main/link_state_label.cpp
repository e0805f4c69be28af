#include "ui/main/link_state_label.h"

namespace halvek::ui {
namespace {

const char* lampColour(LinkState s) {
    switch (s) {
        case LinkState::Closed:
            return "#8a8a8a";
        case LinkState::Waiting:
            return "#e0a000";
        case LinkState::Answering:
            return "#20b020";
        case LinkState::NoAnswer:
            return "#e02020";
    }
    return "#8a8a8a";
}

}  // namespace

LinkStateLabel::LinkStateLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::RichText);
    setAccessibleName("Link state");
    setContentsMargins(0, 0, 6, 0);
    showState(LinkState::Closed, false, {});
}

void LinkStateLabel::showState(LinkState state, bool simulated, const QString& device) {
    state_ = state;
    simulated_ = simulated;
    const QString words = QString::fromStdString(linkStateCaption(state, simulated));
    // The lamp is a coloured bullet; the words take the palette's text colour.
    setText(QString("<span style=\"color:%1\">&#9679;</span>&nbsp;%2").arg(lampColour(state), words.toHtmlEscaped()));
    setToolTip(device);
    setAccessibleDescription(words + (device.isEmpty() ? QString() : " on " + device));
}

}  // namespace halvek::ui
