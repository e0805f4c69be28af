#pragma once

#include <QWidget>
#include <functional>

namespace halvek::ui {

// The black area inside the "Controller mode: " group where the lower pages
// draw. Painters work in the main window's client coordinates.
class DrawingArea : public QWidget {
    Q_OBJECT
  public:
    using Painter = std::function<void(QPainter&)>;
    explicit DrawingArea(QWidget* parent);
    void setPainter(Painter painter) { painter_ = std::move(painter); }
    // The page shown and, where it says more than its name, what it shows.
    void describe(const QString& name, const QString& description);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Painter painter_;
};

}  // namespace halvek::ui
