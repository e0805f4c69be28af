// Every text of every window fits its widget, and every button and menu entry
// has its Alt+letter: the pages of the registry and every window the menus
// open are walked, so windows added later are covered as they come.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include "protocol/catalogue.h"
#include "support/qt_pump.h"
#include "ui/pages/statistics/statistics_page.h"
#include "ui/pages/view_data/view_data_strip.h"
#include "widget_checks.h"
#include "window_rig.h"

namespace halvek::ui::test {
namespace {

using halvek::test::pumpUntil;

QString fileName(QString where) { return where.replace(QRegularExpression("[^A-Za-z0-9]+"), "_"); }

TEST(TextFits, EveryPageAndEveryWindowTheMenusOpen) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    // The start-up reads change captions (the set-up switches): look after them.
    LinkController& link = rig.window->controller();
    ASSERT_TRUE(pumpUntil([&] { return link.startupCountdown() == 0 && link.repliesTaken(cmd::ReadSetup) > 0; }));
    QStringList problems;
    // HALVEK_GRAB_DIR keeps a picture of each window looked at.
    const QString grabDir = qEnvironmentVariable("HALVEK_GRAB_DIR");
    auto look = [&](const QString& where, QWidget* w) {
        for (const QString& p : clippedTexts(w)) problems << where + ": " + p;
        // A window the menus open grows with its content, but never past the screen.
        const QSize room = w->screen()->availableGeometry().size();
        if (w != rig.window.get() &&
            (w->frameGeometry().width() > room.width() || w->frameGeometry().height() > room.height()))
            problems << QString("%1: %2 x %3 does not fit the screen's %4 x %5")
                            .arg(where)
                            .arg(w->frameGeometry().width())
                            .arg(w->frameGeometry().height())
                            .arg(room.width())
                            .arg(room.height());
        for (const QString& p : missingMnemonics(w)) problems << where + ": no mnemonic: " + p;
        if (!grabDir.isEmpty()) w->grab().save(QDir(grabDir).filePath(fileName(where) + ".png"));
    };
    forEveryPage(*rig.window, [&](const QString& page) { look("page " + page, rig.window.get()); });
    QStringList opened;
    forEveryMenuWindow(*rig.window, [&](const QString& entry, QWidget* w) {
        opened << entry;
        look(entry, w);
    });
    EXPECT_TRUE(problems.isEmpty()) << problems.join("\n").toStdString();
    EXPECT_GE(opened.size(), 9) << opened.join(", ").toStdString();
}

// A caption that changes when its button is pressed keeps an Alt+letter.
TEST(TextFits, ACaptionThatChangesKeepsItsMnemonic) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    auto press = [&](auto* strip, auto... buttons) {
        ASSERT_NE(strip, nullptr);
        (buttons(strip)->click(), ...);
        EXPECT_TRUE(missingMnemonics(rig.window.get()).isEmpty())
            << missingMnemonics(rig.window.get()).join("\n").toStdString();
    };
    rig.window->controller().selectPage(TabRow::Lower, page::Statistics, true);
    press(
        qobject_cast<StatisticsStrip*>(rig.window->lowerPageWidget()),
        [](StatisticsStrip* s) { return s->billsButton(); }, [](StatisticsStrip* s) { return s->eventsButton(); });
    rig.window->controller().selectPage(TabRow::Lower, page::ViewData, true);
    press(qobject_cast<ViewDataStrip*>(rig.window->lowerPageWidget()),
          [](ViewDataStrip* s) { return s->stopButton(); });
}

}  // namespace
}  // namespace halvek::ui::test

namespace halvek::ui::test {
namespace {

// A page's controls never lie over the connection controls, which must stay
// clickable whatever page is shown.
TEST(Layout, NoPageCoversTheConnectionControls) {
    Rig rig(false);
    MainWindow& w = *rig.window;
    QStringList covered;
    forEveryPage(w, [&](const QString& page) {
        for (QWidget* c : {static_cast<QWidget*>(w.comPorts()), static_cast<QWidget*>(w.connectButton()),
                           static_cast<QWidget*>(w.q7eButton()), static_cast<QWidget*>(w.exitButton())}) {
            for (QPoint at :
                 {c->rect().center(), c->rect().topLeft() + QPoint(2, 2), c->rect().bottomRight() - QPoint(2, 2)}) {
                QWidget* hit = w.centralWidget()->childAt(c->mapTo(w.centralWidget(), at));
                if (hit != c && !c->isAncestorOf(hit)) covered << page + ": " + c->metaObject()->className();
            }
        }
    });
    EXPECT_TRUE(covered.isEmpty()) << covered.join("\n").toStdString();
}

}  // namespace
}  // namespace halvek::ui::test
