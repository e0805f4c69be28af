#pragma once

#include <functional>
#include <optional>
#include <string>

#include "accessories/cassette_data_session.h"
#include "ui/accessories/tool_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabBar;

namespace halvek::ui {

// "L8V Kestrel Cassette Data": the ID list and its log, write and read of the
// ID, and the painted bill and fault panel.
class CassetteDataWindow : public ToolWindow, public CassetteDataListener {
    Q_OBJECT
  public:
    // Asks for the log file; nothing when cancelled. The default shows a file dialog.
    using FileChooser = std::function<std::optional<std::string>()>;

    CassetteDataWindow(QWidget* parent, CassetteDataSession& session, FileChooser chooser = {});
    ~CassetteDataWindow() override;
    void cassetteDataChanged() override;

    QCheckBox* logBox() const { return log_; }
    QListWidget* list() const { return list_; }
    QLineEdit* idField() const { return edit_; }
    QTabBar* tabs() const { return tabs_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    CassetteDataSession& session_;
    FileChooser chooser_;
    QCheckBox* log_;
    QListWidget* list_;
    QLineEdit* edit_;
    QLabel* idRead_;
    QTabBar* tabs_;
    QPushButton* page_;
    QLabel* title_;
};

}  // namespace halvek::ui
