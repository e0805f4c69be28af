#pragma once

#include <QPainter>
#include <QWidget>
#include <functional>
#include <span>

#include "capture/protocol_capture.h"
#include "capture/view_data_view.h"
#include "link/link_controller.h"
#include "link/user_interface.h"

namespace halvek::ui {

// What a page is given: the controller it asks through, the stores it shows,
// the user interface for its messages, the protocol capture and the View Data
// panel (both outlive the pages), and a way to have the drawing area painted again.
struct PageContext {
    LinkController& link;
    Stores& stores;
    UserInterface& ui;
    ProtocolCapture& capture;
    ViewDataView& viewData;
    std::function<void()> repaint;
};

// One page of the two tab rows. Adding a page is one folder under ui/pages and
// one line in the registry; the main window loops over it.
struct PageEntry {
    TabRow row;
    int index;
    const char* caption;
    // The page's controls, in the main window's client area: the strip below
    // the drawing area (lower row) or the panel beside the bill list (upper row).
    QWidget* (*makeControls)(QWidget* client, PageContext& context);
    // Paints the page into the drawing area, in client coordinates; nullptr: nothing to paint.
    void (*paint)(QPainter& painter, PageContext& context);
};

// An upper page with widgets of its own: the window asks it to show fresh data
// from the stores when a reply for it was stored.
class PageView {
  public:
    virtual ~PageView() = default;
    virtual void refresh() = 0;
};

// The upper page that shows a view, or -1.
int upperPageOf(View view);

std::span<const PageEntry> pageRegistry();
// nullptr when the row has no page at that index.
const PageEntry* findPage(TabRow row, int index);

// The area a page's controls take when it has nothing else to say.
QWidget* emptyControls(QWidget* client, TabRow row);

}  // namespace halvek::ui
