// The Q610's output byte and how the panel's buttons change it.
//
// Bit 0..4 select the output step (+100 %, +50 %, 0 %, -50 %, -100 %), bit 5
// is the beeper, bit 6 the ready lamp, bit 7 is unused. The same byte is the
// number of the USB step command and the data byte of the parallel port.
#pragma once

namespace zdx::q610 {

inline constexpr int kStepBitsMask = 31;
inline constexpr int kBeepBit = 32;
inline constexpr int kReadyBit = 64;
inline constexpr int kDefaultOutputBits = 4;  // step 0 %

// The step value of Command1..Command5 (index 0..4).
int stepValue(int stepIndex);

// A step button: keeps the ready lamp, clears the beeper and the other steps.
int afterStepClick(int outputBits, int stepValue);

// Beep held down / released.
int afterBeepPress(int outputBits);
int afterBeepRelease(int outputBits);

// Ready lamp switched over.
bool readyIsOn(int outputBits);
int afterReadyToggle(int outputBits);

// The panel as restored after a connection: the byte to send and which step
// button (0..4) shows it.
struct RestoredPanel {
    int outputBits = kDefaultOutputBits;
    int stepIndex = 2;
};

// Reduces a stored byte to one step bit (the lowest set wins, none set means
// step 0 %) plus bits 6 and 7; the beeper and everything above bit 7 go.
RestoredPanel restorePanel(int outputBits);

}  // namespace zdx::q610
