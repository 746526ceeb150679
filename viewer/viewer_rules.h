// The viewer's arithmetic, apart from its windows: where the button row goes for an image of a
// given width, which step buttons are enabled, and which image is shown after a deletion. Plain
// C++, built and tested natively too.
#pragma once

#include <cstdint>

namespace kavrel::viewer {

constexpr int kButtonRowHeight = 25;
constexpr int kNarrowButtonWidth = 78;  // the button width below an image less than 240 pixels wide

struct ButtonPlace {
    int left = 0;
    int width = 0;
};

struct ButtonRow {
    ButtonPlace prev, next, del;  // Button1, Button2, Button3; all at the top, kButtonRowHeight high
};

// The three buttons side by side above an image `imageWidth` pixels wide: each a third of the
// width less 2 (at least 78), starting at 1 and 3 pixels apart.
ButtonRow LayOutButtons(int imageWidth);

struct StepButtons {
    bool prevEnabled = false;
    bool nextEnabled = false;
};

// Prev is enabled away from the first entry and Next away from the last one of `count` entries.
StepButtons StepButtonsAt(std::int32_t index, std::int32_t count);

// The entry shown after the one at `deletedAt` was deleted and the list was read again with
// `remaining` entries (at least one): with more than two left, the same position or the last;
// with one or two, the one before it or the first.
std::int32_t IndexAfterDeletion(std::int32_t deletedAt, std::int32_t remaining);

}  // namespace kavrel::viewer
