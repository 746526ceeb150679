// The viewer's button row, step buttons and position after a deletion.
#include <gtest/gtest.h>

#include "viewer/viewer_rules.h"

namespace kavrel::viewer {
namespace {

TEST(ViewerRules, ButtonRowFollowsTheImageWidth) {
    const ButtonRow wide = LayOutButtons(400);  // a 100 x 50 image doubled twice
    EXPECT_EQ(wide.prev.left, 1);
    EXPECT_EQ(wide.next.left, 134);
    EXPECT_EQ(wide.del.left, 268);
    EXPECT_EQ(wide.prev.width, 131);
    EXPECT_EQ(wide.del.width, 131);

    const ButtonRow narrow = LayOutButtons(150);  // 300 x 151 halved
    EXPECT_EQ(narrow.prev.left, 1);
    EXPECT_EQ(narrow.next.left, 81);
    EXPECT_EQ(narrow.del.left, 162);
    EXPECT_EQ(narrow.next.width, 78);
    // The switch: a third of 240 is 80, the first width at which the buttons follow the image.
    EXPECT_EQ(LayOutButtons(239).prev.width, 78);
    EXPECT_EQ(LayOutButtons(240).prev.width, 78);
    EXPECT_EQ(LayOutButtons(243).prev.width, 79);
    EXPECT_EQ(LayOutButtons(0).del.left, 162);
}

TEST(ViewerRules, StepButtons) {
    EXPECT_FALSE(StepButtonsAt(0, 2).prevEnabled);
    EXPECT_TRUE(StepButtonsAt(0, 2).nextEnabled);
    EXPECT_TRUE(StepButtonsAt(1, 2).prevEnabled);
    EXPECT_FALSE(StepButtonsAt(1, 2).nextEnabled);
    EXPECT_FALSE(StepButtonsAt(0, 1).prevEnabled);
    EXPECT_FALSE(StepButtonsAt(0, 1).nextEnabled);
}

TEST(ViewerRules, PositionAfterADeletion) {
    EXPECT_EQ(IndexAfterDeletion(1, 2), 0) << "the second of three deleted: the first";
    EXPECT_EQ(IndexAfterDeletion(3, 3), 2) << "the last of four deleted: the new last";
    EXPECT_EQ(IndexAfterDeletion(1, 3), 1) << "the second of four deleted: the former third";
    EXPECT_EQ(IndexAfterDeletion(0, 1), 0) << "the first of two deleted: the one left";
    EXPECT_EQ(IndexAfterDeletion(0, 2), 0);
    EXPECT_EQ(IndexAfterDeletion(2, 2), 1) << "one that stayed (not deletable) with two listed";
}

}  // namespace
}  // namespace kavrel::viewer
