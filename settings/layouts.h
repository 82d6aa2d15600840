#pragma once

#include <array>

namespace fotavi {

// The objects and properties the window layouts set, in twips
// (1440 an inch, 15 a pixel at 96 dots per inch).
enum class LayoutTarget {
    Window,
    PictureBox,
    ListButton,
    DateLabel,
    CommentBox,
    PresetButton0,
    PresetButton1,
    PresetButton2,
    PresetButton3,
    LowerCaseButton
};
enum class LayoutProperty { Left, Top, Width, Height };

struct LayoutValue {
    LayoutTarget target;
    LayoutProperty property;
    int twips;
    bool operator==(const LayoutValue&) const = default;
};

inline constexpr int kTwipsPerPixel = 15;

// The eighteen values of one layout, in the order they are set.
using Layout = std::array<LayoutValue, 18>;

const Layout& layout_for(bool size_large);

}  // namespace fotavi
