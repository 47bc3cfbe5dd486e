#include "output_bits.h"

namespace zdx::q610 {

namespace {
constexpr int kKeptOnRestore = 192;  // ready lamp and the unused bit 7
constexpr int kStepCount = 5;
}  // namespace

int stepValue(int stepIndex) {
    return 1 << stepIndex;
}

int afterStepClick(int outputBits, int stepValue) {
    return (outputBits & kReadyBit) + stepValue;
}

int afterBeepPress(int outputBits) {
    return (outputBits & 255) | kBeepBit;
}

int afterBeepRelease(int outputBits) {
    return outputBits & (255 - kBeepBit);
}

bool readyIsOn(int outputBits) {
    return (outputBits & kReadyBit) != 0;
}

int afterReadyToggle(int outputBits) {
    return readyIsOn(outputBits) ? (outputBits & (255 - kReadyBit)) : (outputBits | kReadyBit);
}

RestoredPanel restorePanel(int outputBits) {
    if ((outputBits & kStepBitsMask) == 0) outputBits = kDefaultOutputBits;
    for (int index = 0; index < kStepCount; ++index) {
        const int bit = stepValue(index);
        if ((outputBits & bit) != 0) return {outputBits & (kKeptOnRestore | bit), index};
    }
    return {};  // not reached: a step bit is always set here
}

}  // namespace zdx::q610
