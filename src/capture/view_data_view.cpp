#include "capture/view_data_view.h"

namespace halvek {

ViewDataView::ViewDataView(int bottom) : bottom_(bottom) {
    for (int y = kTop; y < bottom_ - kRowHeight; y += kRowHeight) {
        Row row;
        row.y = y;
        rows_.push_back(row);
    }
    if (rows_.empty()) rows_.push_back(Row{kTop, false, kBlack, {}});
}

void ViewDataView::resetCursor() {
    x_ = kLeft;
    y_ = kTop;
    newRow_ = true;
}

void ViewDataView::restart() {
    resetCursor();
    for (Row& r : rows_) {
        r.used = false;
        r.cells.clear();
    }
}

void ViewDataView::clear() {
    restart();
    // What was on show is not drawn again; the next exchange is.
    if (drawnAny_) drawn_ = CaptureList::kEntries;
}

void ViewDataView::setControllerColour(uint32_t rgb) {
    controller_ = rgb;
    clear();
}

void ViewDataView::setValidatorColour(uint32_t rgb) {
    validator_ = rgb;
    clear();
}

ViewDataView::Row& ViewDataView::startRow() {
    Row& row = rows_[static_cast<size_t>((y_ - kTop) / kRowHeight) % rows_.size()];
    stripe_ = !stripe_;
    row.used = true;
    row.background = stripe_ ? kBlack : kStripe;
    row.cells.clear();
    return row;
}

void ViewDataView::update(const CaptureList& list, bool extended) {
    CaptureList::Entries entries;
    uint32_t exchange = 0;
    // A list the writer kept busy is drawn at the next paint.
    if (list.snapshot(entries, &exchange)) update(entries, exchange, extended);
}

void ViewDataView::update(const CaptureList::Entries& e, uint32_t exchange, bool extended) {
    if (paused_) return;
    size_t i = 0;
    if (drawnAny_ && exchange == exchange_) i = drawn_;
    drawnAny_ = true;
    exchange_ = exchange;

    // The command's own length field tells where the reply begins.
    size_t boundary = 0;
    if (extended && e[2] != CaptureList::kEmpty && e[3] != CaptureList::kEmpty)
        boundary = static_cast<size_t>(e[2]) * 256 + e[3];
    else if (!extended && e[1] != CaptureList::kEmpty)
        boundary = e[1];

    static constexpr char kHex[] = "0123456789ABCDEF";
    for (; i < CaptureList::kEntries && e[i] != CaptureList::kEmpty; ++i) {
        Row& row = newRow_ ? startRow() : rows_[static_cast<size_t>((y_ - kTop) / kRowHeight) % rows_.size()];
        Cell cell;
        cell.x = x_;
        cell.text[0] = kHex[(e[i] >> 4) & 0x0F];
        cell.text[1] = kHex[e[i] & 0x0F];
        cell.reply = boundary != 0 && i >= boundary;
        row.cells.push_back(cell);
        x_ += kCellWidth;
        newRow_ = x_ >= kRight;
        if (newRow_) {
            x_ = kLeft;
            y_ += kRowHeight;
            if (y_ >= bottom_ - kRowHeight) y_ = kTop;
        }
    }
    drawn_ = i;
}

}  // namespace halvek
