#include "viewer/viewer_rules.h"

namespace kavrel::viewer {

ButtonRow LayOutButtons(int imageWidth) {
    const int third = imageWidth / 3;
    const int width = third < 80 ? kNarrowButtonWidth : third - 2;
    ButtonRow row;
    row.prev = {1, width};
    row.next = {row.prev.width + 3, width};
    row.del = {row.prev.width + row.next.width + 6, width};
    return row;
}

StepButtons StepButtonsAt(std::int32_t index, std::int32_t count) {
    return {index != 0, index != count - 1};
}

std::int32_t IndexAfterDeletion(std::int32_t deletedAt, std::int32_t remaining) {
    if (remaining > 2) return deletedAt > remaining - 1 ? remaining - 1 : deletedAt;
    return deletedAt > 0 ? deletedAt - 1 : 0;
}

}  // namespace kavrel::viewer
