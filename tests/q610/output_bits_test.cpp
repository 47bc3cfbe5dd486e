#include "output_bits.h"

#include <gtest/gtest.h>

using namespace zdx::q610;

TEST(OutputBits, StepClickKeepsOnlyTheReadyLamp) {
    EXPECT_EQ(afterStepClick(4, stepValue(0)), 1);
    EXPECT_EQ(afterStepClick(64 + 4, stepValue(4)), 64 + 16);
    // Beeper and other step bits are dropped, bit 7 as well.
    EXPECT_EQ(afterStepClick(255, stepValue(1)), 64 + 2);
}

TEST(OutputBits, BeepNeverPassesBitsAboveSeven) {
    EXPECT_EQ(afterBeepPress(0x104), 36);
    EXPECT_EQ(afterBeepRelease(0x124), 4);
}

TEST(OutputBits, RestoreKeepsTheLowestStepAndTheReadyLamp) {
    struct Case {
        int stored, bits, step;
    };
    const Case cases[] = {
        {0, 4, 2},        // nothing stored: step 0 %
        {0x21, 1, 0},     // beeper dropped
        {0x44, 0x44, 2},  // ready lamp kept
        {0x05, 1, 0},     // two steps: the lowest wins
        {0x18, 8, 3},     // mask 200
        {0x10, 16, 4},    // mask 208
        {0x82, 0x82, 1},  // mask 194 keeps bit 7
        {0x1E0, 4, 2},    // no step bit: the whole byte becomes the default
        {32 + 64, 4, 2},  // beeper alone is no step
        {0x121, 1, 0},    // bits above 7 cleared
    };
    for (const Case& c : cases) {
        const RestoredPanel panel = restorePanel(c.stored);
        EXPECT_EQ(panel.outputBits, c.bits) << "stored " << c.stored;
        EXPECT_EQ(panel.stepIndex, c.step) << "stored " << c.stored;
    }
}
