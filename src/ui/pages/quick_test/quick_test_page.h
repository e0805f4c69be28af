#pragma once

#include <QPainter>
#include <QWidget>

#include "pages/quick_test/quick_test_view.h"
#include "pages/quick_test/vla_paper_prompt.h"
#include "ui/main/page_registry.h"

class QPushButton;

namespace halvek::ui {

// The Quick test page's panel at the left of the drawing area: "Run Test"
// reads the optics data, "Clear Results" forgets what has arrived. The table
// beside it is painted from the view model.
class QuickTestPanel : public QWidget {
    Q_OBJECT
  public:
    QuickTestPanel(QWidget* client, PageContext& context);
    ~QuickTestPanel() override;

    // The panel shown now, if any: the painter tells it of each evaluation.
    static QuickTestPanel* shown();
    // The table was evaluated again: tells the user to insert the VLA paper
    // when new optics data came without video data (outside the painting).
    void evaluated();

    QPushButton* runButton() const { return run_; }
    QPushButton* clearButton() const { return clear_; }

  private:
    void runTest();
    void clearResults();

    PageContext& context_;
    VlaPaperPrompt prompt_;
    QPushButton* run_;
    QPushButton* clear_;
};

QWidget* makeQuickTestPanel(QWidget* client, PageContext& context);
void paintQuickTest(QPainter& p, PageContext& context);
void paintQuickTestView(QPainter& p, const QuickTestView& view);

}  // namespace halvek::ui
