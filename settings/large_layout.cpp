#include "settings/large_layout.h"

#include <algorithm>

namespace fotavi {

namespace {

constexpr int kMargin = 8;
constexpr int kGap = 7;
constexpr int kButtonHeight = 25;
constexpr int kTopRow = 32;  // the picture starts below the buttons
// The fixed layouts' controls, in pixels.
constexpr int kNameLeft = 200;
constexpr int kDateWidth = 121;
constexpr int kListWidth = 57;
constexpr int kPresetWidth = 40;  // 41 in the fixed layouts, which overlap by a pixel
constexpr int kPresetStep = 40;
constexpr int kLowerCaseWidth = 65;

}  // namespace

LargeLayout large_layout(QSize client) {
    const QSize size = client.expandedTo(kLargeLayoutMinimum);
    const int w = size.width(), h = size.height();
    LargeLayout at;
    at.list = QRect(w - kMargin - kListWidth, 0, kListWidth, kButtonHeight);
    at.file_date = QRect(at.list.left() - kGap - kDateWidth, 8, kDateWidth, 17);
    at.file_name = QRect(kNameLeft, 8, at.file_date.left() - kGap - kNameLeft, 17);
    // Three lines of comment at the least; a fifth of the height on a tall window.
    const int comment_height = std::clamp(h / 5, 60, 240);
    const int bottom = h - kMargin;
    const int right_block = 3 * kPresetStep + kPresetWidth + kGap + kLowerCaseWidth;
    const int presets_left = w - kMargin - right_block;
    at.comment =
        QRect(kMargin, bottom - comment_height, presets_left - kGap - kMargin, comment_height);
    for (int n = 0; n < 4; ++n)
        at.presets[n] = QRect(presets_left + n * kPresetStep, at.comment.top() + 8, kPresetWidth,
                              kButtonHeight);
    at.lower_case = QRect(at.presets[3].right() + 1 + kGap, at.comment.top() + 8, kLowerCaseWidth,
                          kButtonHeight);
    at.picture = QRect(kMargin, kTopRow, w - 2 * kMargin, at.comment.top() - kGap - kTopRow);
    return at;
}

}  // namespace fotavi
