#include "pages/common/panel_text.h"

#include <algorithm>
#include <map>
#include <vector>

namespace halvek {
namespace {

// The classic dialog font's average character width, which the pages' positions assume.
constexpr int kCharWidth = 6;

}  // namespace

std::string panelText(const PanelDrawing& drawing, int leftEdge) {
    std::map<int, std::vector<const PanelItem*>> lines;
    for (const PanelItem& i : drawing.items())
        if (i.kind == PanelItem::Kind::Text) lines[i.y].push_back(&i);
    std::string out;
    for (auto& [y, items] : lines) {
        std::stable_sort(items.begin(), items.end(),
                         [](const PanelItem* a, const PanelItem* b) { return a->x < b->x; });
        std::string line;
        for (const PanelItem* i : items) {
            const size_t column = static_cast<size_t>(std::max(0, (i->x - leftEdge) / kCharWidth));
            if (!line.empty()) line += ' ';
            if (line.size() < column) line.append(column - line.size(), ' ');
            line += i->text;
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    return out;
}

}  // namespace halvek
