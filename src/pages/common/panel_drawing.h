#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace halvek {

// A colour as the painted pages name it.
struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// One thing a lower page draws into the drawing area, in main-window client
// pixels. Texts are placed by their top-left corner; an opaque text first
// fills its own box with its background. Boxes and lines use the colour.
struct PanelItem {
    enum class Kind : uint8_t { Text, Box, Line };
    Kind kind = Kind::Text;
    int x = 0, y = 0;
    int x2 = 0, y2 = 0;  // a line's other end; a box's width and height
    std::string text;
    Rgb colour;
    Rgb background;  // behind an opaque text
    bool opaque = true;
};

// Everything a lower page draws, in drawing order: later items cover earlier ones.
class PanelDrawing {
  public:
    void text(int x, int y, std::string s, Rgb colour, Rgb background = {}) {
        items_.push_back({PanelItem::Kind::Text, x, y, 0, 0, std::move(s), colour, background, true});
    }
    void box(int x, int y, int width, int height, Rgb colour) {
        items_.push_back({PanelItem::Kind::Box, x, y, width, height, {}, colour, {}, false});
    }
    void line(int x1, int y1, int x2, int y2, Rgb colour) {
        items_.push_back({PanelItem::Kind::Line, x1, y1, x2, y2, {}, colour, {}, false});
    }
    const std::vector<PanelItem>& items() const { return items_; }
    // The first text item that reads exactly s, or nullptr.
    const PanelItem* findText(const std::string& s) const {
        for (const PanelItem& i : items_)
            if (i.kind == PanelItem::Kind::Text && i.text == s) return &i;
        return nullptr;
    }

  private:
    std::vector<PanelItem> items_;
};

}  // namespace halvek
