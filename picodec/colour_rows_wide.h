// Rows through a matrix-shaper colour conversion with 512-bit vector instructions, 64 pixels at
// a time, on processors that have them (byte permutes). The arithmetic is the one the table path
// in colour_profile.cpp is built from, step for step, so both give the same bytes.
//
// Per pixel: each input byte is looked up as a 15-bit linear value; each output channel is the
// sum of the three values times its matrix entries (16-bit products rounded as the vector
// multiply rounds them, to a fraction of a step), rounded to a whole linear step of 4095 and
// clamped; the step is turned into an sRGB byte by the curve below.
#pragma once

#include <cstdint>

namespace picodec::wide {

struct alignas(64) MatrixRows {
  uint8_t linearLow[3][256];  // input channel (blue, green, red), byte: its linear value's low byte
  uint8_t linearHigh[3][256];  // and its high byte
  int16_t share[3][3];  // output channel, input channel (blue, green, red): the entry, scaled
  int16_t toSteps;      // 2^(15 - f) for f fraction bits of a step in the sums, f >= 1
};

// The sRGB curve over linear steps 0..4095, in tables of 128 that one byte permute reads: the
// first 128 steps directly; steps 128..1023 in runs of 8 and steps 1024..4095 in runs of 32,
// each run by its value at its start and the offsets within it where the value rises by one (at
// most twice; the run's length for none).
struct alignas(64) SrgbSteps {
  uint8_t dark[128];
  uint8_t midStart[128];  // run i: steps 8i .. 8i + 7, for i from 16
  uint8_t midRise[2][128];
  uint8_t highStart[128];  // run i: steps 32i .. 32i + 31, for i from 32
  uint8_t highRise[2][128];
};

// Whether this processor runs convert.
bool available();

// Converts `blocks` times 64 blue, green, red pixels at `from` to `to` (which may be `from`).
void convert(const MatrixRows& rows, const SrgbSteps& curve, const uint8_t* from, uint8_t* to,
             int32_t blocks);

}  // namespace picodec::wide
