#pragma once

#include <QStringList>
#include <functional>

class QWidget;

namespace halvek::ui {
class MainWindow;
}

namespace halvek::ui::test {

// Every visible text of the window that does not fit its widget, one line each
// ("QPushButton 'CONNECT': needs 60 x 13, has 52 x 14").
QStringList clippedTexts(QWidget* window);

// Buttons and menu entries of the window without an Alt+letter mnemonic.
QStringList missingMnemonics(QWidget* window);

// Shows every page of both tab rows in turn and calls check on the main window each time.
void forEveryPage(MainWindow& window, const std::function<void(const QString& page)>& check);

// Triggers every menu entry of the window and calls check on each window it
// opens (modal ones from inside their loop), then closes that window.
void forEveryMenuWindow(MainWindow& window, const std::function<void(const QString& entry, QWidget*)>& check);

}  // namespace halvek::ui::test
