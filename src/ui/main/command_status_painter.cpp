#include "ui/main/command_status_painter.h"

#include <array>
#include <cstdio>

#include "link/texts.h"

namespace halvek::ui {
namespace {

const QColor kBlack(0, 0, 0);
const QColor kTeal(0, 159, 159);
const QColor kCommandText(170, 255, 170);
const QColor kEventText(68, 255, 68);
const QColor kLight(85, 85, 85);
const QColor kDark(51, 51, 51);
const QColor kStateBackground(85, 85, 85);
const QColor kWhite(255, 255, 255);
const QColor kCurrent(0, 255, 0);
const QColor kInhibit(255, 0, 0);

const QRect kLeftPart(QPoint(16, 197), QPoint(245, 371));
const QRect kRightPart(QPoint(246, 197), QPoint(615, 371));

struct Pane {
    int left, top, right, bottom;
};
constexpr Pane kCommandPane{28, 222, 243, 358};
constexpr Pane kStatusPane{258, 222, 473, 358};
constexpr Pane kStatePane{486, 222, 606, 362};

void text(QPainter& p, int x, int y, const QString& s, const QColor& colour) {
    p.setPen(colour);
    p.drawText(QRect(x, y, 600, 16), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
}

void outline(QPainter& p, const Pane& pane) {
    p.setPen(kTeal);
    p.drawLine(pane.left, pane.top, pane.right, pane.top);
    p.drawLine(pane.right, pane.top, pane.right, pane.bottom);
    p.drawLine(pane.right, pane.bottom, pane.left, pane.bottom);
    p.drawLine(pane.left, pane.bottom, pane.left, pane.top);
}

// Once the list scrolls, a line keeps its shade as it moves up.
bool darkRow(uint32_t counter, size_t k) { return counter <= 8 ? (k % 2) == 1 : ((counter + k) % 2) == 1; }

template <size_t N>
void listPane(QPainter& p, const Pane& pane, const QString& title, const std::array<std::string, N>& lines,
              uint32_t counter, const QColor& colour) {
    text(p, pane.left + 10, pane.top - 18, title, kTeal);
    outline(p, pane);
    int y = pane.top;
    for (size_t k = 0; k < 8; ++k, y += 17) {
        if (!lines[k].empty()) {
            const QColor shade = darkRow(counter, k) ? kDark : kLight;
            p.fillRect(pane.left + 1, y + 1, 214, 16, shade);
            text(p, pane.left + 5, y + 1, QString::fromLatin1(lines[k].c_str()), colour);
        }
        p.setPen(kTeal);
        p.drawLine(pane.left, y, pane.right, y);
    }
}

QString statusTitle(const Stores& stores) {
    const auto& s = stores.status.received;
    char title[64];
    std::snprintf(title, sizeof title, "status: %02X:%02X:%02X:%02X:%02X:%02X", s[5], s[4], s[3], s[2], s[1], s[0]);
    return title;
}

template <size_t N>
QString joined(const std::array<std::string, N>& lines) {
    QStringList out;
    for (const std::string& l : lines)
        if (!l.empty()) out.append(QString::fromLatin1(l.c_str()).trimmed());
    return out.isEmpty() ? QString("none") : out.join("; ");
}

void statePane(QPainter& p, int state) {
    const Pane& pane = kStatePane;
    text(p, pane.left + 10, pane.top - 18, "state", kTeal);
    p.fillRect(QRect(QPoint(pane.left, pane.top), QPoint(pane.right, pane.bottom)), kStateBackground);
    outline(p, pane);
    for (int k = 0; k < 7; ++k) {
        const int y = pane.top + 20 * k;
        QColor colour = kWhite;
        if (state == k + 1) {
            p.fillRect(pane.left + 1, y + 1, 119, 19, state == 7 ? kInhibit : kCurrent);
            colour = state == 7 ? kWhite : kBlack;
        }
        text(p, pane.left + 15, y + 1, text::stateName(k + 1), colour);
        p.setPen(kTeal);
        p.drawLine(pane.left, y, pane.right, y);
    }
}

}  // namespace

void paintCommandStatus(QPainter& p, Stores& stores, int state) {
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    // Qt repaints the whole area every time, so every pane is drawn and the
    // redraw flags are only cleared.
    p.fillRect(kLeftPart, kBlack);
    p.fillRect(kRightPart, kBlack);
    listPane(p, kCommandPane, "controller command", stores.history.slots(), stores.history.counter(), kCommandText);
    listPane(p, kStatusPane, statusTitle(stores), stores.events.lines(), stores.events.counter(), kEventText);
    statePane(p, state);
    stores.panes = PaneFlags{false, false, false};
}

QString commandStatusDescription(const Stores& stores, int state) {
    return QString("controller command: %1. %2, events: %3. state: %4.")
        .arg(joined(stores.history.slots()), statusTitle(stores), joined(stores.events.lines()),
             state >= 1 && state <= 7 ? QString(text::stateName(state)) : QString("none"));
}

}  // namespace halvek::ui
