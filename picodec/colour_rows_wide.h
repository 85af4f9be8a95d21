// Rows through a matrix-shaper colour conversion with 512-bit vector instructions, 64 pixels at
// a time, on processors that have them (byte permutes). The arithmetic is the one the table path
// in colour_profile.cpp is built from, step for step, so both give the same bytes.
//
// Per pixel: each input byte is looked up as a 15-bit linear value; each output channel is the
// sum of the three values times its matrix entries (16-bit products rounded as the vector
// multiply rounds them), plus a rounding half, shifted down to a linear step of 4095 and
// clamped; the step is turned into an sRGB byte by the curve below.
#pragma once

#include <cstdint>

namespace picodec::wide {

struct alignas(64) MatrixRows {
  uint8_t linearLow[3][256];   // input channel (blue, green, red), byte: its linear value's low byte
  uint8_t linearHigh[3][256];  // and its high byte
  int16_t share[3][3];         // output channel, input channel (blue, green, red): the entry, scaled
  int16_t rounding;            // half a step, added to every sum
  int16_t fraction;            // fraction bits of a step in the sums
};

// The sRGB curve over linear steps 0..4095, in a form that byte permutes can read: the first 256
// steps directly, and above them per run of 16 steps the value at its start and the offsets
// within the run where the value rises by one (at most three, 16 for none).
struct alignas(64) SrgbSteps {
  uint8_t dark[256];
  uint8_t start[256];
  uint8_t rise[3][256];
};

// Whether this processor runs convert.
bool available();

// Converts `blocks` times 64 blue, green, red pixels at `from` to `to` (which may be `from`).
void convert(const MatrixRows& rows, const SrgbSteps& curve, const uint8_t* from, uint8_t* to,
             int32_t blocks);

}  // namespace picodec::wide
