#include "ui/main/drawing_area.h"

#include <QPainter>

#include "ui/main/geometry.h"

namespace halvek::ui {

DrawingArea::DrawingArea(QWidget* parent) : QWidget(parent) {
    setGeometry(kDrawingArea);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void DrawingArea::describe(const QString& name, const QString& description) {
    if (accessibleName() != name) setAccessibleName(name);
    if (accessibleDescription() != description) setAccessibleDescription(description);
}

void DrawingArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.translate(-kDrawingArea.left(), -kDrawingArea.top());
    if (painter_) painter_(p);
}

}  // namespace halvek::ui
