#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "serial/comm_block.h"

namespace halvek {

// What the View data page shows: the bytes of each exchange as hexadecimal
// cells laid out row after row, the command's bytes in the controller colour
// and the reply's in the validator colour; rows wrap to the top and overwrite
// the oldest. The panel is kept here as rows of cells, so a painter can draw
// it whole at any time. Qt-free; the page's painter reads it.
class ViewDataView {
  public:
    static constexpr int kLeft = 26, kTop = 202, kRight = 606;
    static constexpr int kCellWidth = 20, kRowHeight = 16;
    static constexpr int kBottom = 372;  // the drawing area's bottom edge
    static constexpr uint32_t kBlack = 0x000000, kStripe = 0x333333;
    static constexpr uint32_t kDefaultController = 0x00AAAA, kDefaultValidator = 0xFFFF00;
    static constexpr uint32_t kChooserStart = 0x808080;  // where the colour chooser opens

    struct Cell {
        int x = 0;
        char text[3] = {};
        bool reply = false;
    };
    struct Row {
        int y = 0;
        bool used = false;
        uint32_t background = kBlack;
        std::vector<Cell> cells;
    };

    explicit ViewDataView(int bottom = kBottom);

    // Draws what the list holds that this view has not drawn yet (the whole
    // of a new exchange, or the bytes added to the current one). Nothing while paused.
    void update(const CaptureList& list, bool extended);
    void update(const CaptureList::Entries& entries, uint32_t exchange, bool extended);

    // CLEAR: an empty panel, the cursor at the top, and the exchange on show
    // hidden until the next one begins.
    void clear();
    // The page was selected: an empty panel and the cursor at the top.
    void restart();

    void setPaused(bool paused) { paused_ = paused; }
    bool paused() const { return paused_; }

    uint32_t controllerColour() const { return controller_; }
    uint32_t validatorColour() const { return validator_; }
    // A new colour clears the panel, as CLEAR does.
    void setControllerColour(uint32_t rgb);
    void setValidatorColour(uint32_t rgb);

    const std::vector<Row>& rows() const { return rows_; }
    int cursorX() const { return x_; }
    int cursorY() const { return y_; }

  private:
    void resetCursor();
    Row& startRow();

    int bottom_;
    std::vector<Row> rows_;
    int x_ = kLeft, y_ = kTop;
    bool newRow_ = true;
    bool stripe_ = false;
    bool paused_ = false;
    uint32_t controller_ = kDefaultController, validator_ = kDefaultValidator;
    // How far the list has been drawn.
    bool drawnAny_ = false;
    uint32_t exchange_ = 0;
    size_t drawn_ = 0;
};

}  // namespace halvek
