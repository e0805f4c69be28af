// Every text of every window fits its widget, and every button and menu entry
// has its Alt+letter: the pages of the registry and every window the menus
// open are walked, so windows added later are covered as they come.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include "widget_checks.h"
#include "window_rig.h"

namespace halvek::ui::test {
namespace {

QString fileName(QString where) { return where.replace(QRegularExpression("[^A-Za-z0-9]+"), "_"); }

TEST(TextFits, EveryPageAndEveryWindowTheMenusOpen) {
    Rig rig;
    ASSERT_TRUE(rig.connect());
    QStringList problems;
    // HALVEK_GRAB_DIR keeps a picture of each window looked at.
    const QString grabDir = qEnvironmentVariable("HALVEK_GRAB_DIR");
    auto look = [&](const QString& where, QWidget* w) {
        for (const QString& p : clippedTexts(w)) problems << where + ": " + p;
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

}  // namespace
}  // namespace halvek::ui::test
