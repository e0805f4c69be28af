#pragma once

#include <QPainter>
#include <QWidget>

#include "pages/video/video_view.h"
#include "ui/main/page_registry.h"

namespace halvek::ui {

// The Video test page: a strip that asks for the white paper, and the chart
// of the white-paper levels painted from the view model.
QWidget* makeVideoTestStrip(QWidget* client, PageContext& context);
void paintVideoTest(QPainter& p, PageContext& context);
void paintVideoView(QPainter& p, const VideoView& view);

}  // namespace halvek::ui
