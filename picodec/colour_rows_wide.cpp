// Only the functions marked WIDE use the 512-bit instructions; nothing here is inline in a header
// that other files compile, so no code built for them can be picked for a processor without them.
#include "colour_rows_wide.h"

#include <immintrin.h>

#define WIDE __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace picodec::wide {
namespace {

// Byte shuffles between three registers of packed blue, green, red (192 bytes, 64 pixels) and
// three registers of one channel each.
struct Shuffles {
  // Channel c of pixel i is byte 3i + c: the first two registers by a two-register permute,
  // then the bytes that lie in the third register over them.
  uint8_t fromFirstTwo[3][64];
  uint8_t fromThird[3][64];
  uint64_t inThird[3];
  // Back: byte j of register r is channel (64r + j) % 3 of pixel (64r + j) / 3; blue and green
  // by a two-register permute, then red over them.
  uint8_t fromBlueGreen[3][64];
  uint8_t fromRed[3][64];
  uint64_t isRed[3];
};

constexpr Shuffles makeShuffles() {
  Shuffles s{};
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 64; ++i) {
      const int at = 3 * i + c;
      s.fromFirstTwo[c][i] = static_cast<uint8_t>(at & 127);
      s.fromThird[c][i] = static_cast<uint8_t>(at & 63);
      if (at >= 128) s.inThird[c] |= uint64_t{1} << i;
    }
  }
  for (int r = 0; r < 3; ++r) {
    for (int j = 0; j < 64; ++j) {
      const int at = 64 * r + j;
      const int pixel = at / 3, channel = at % 3;
      s.fromBlueGreen[r][j] = static_cast<uint8_t>((channel == 1 ? 64 : 0) + pixel);
      s.fromRed[r][j] = static_cast<uint8_t>(pixel);
      if (channel == 2) s.isRed[r] |= uint64_t{1} << j;
    }
  }
  return s;
}

constexpr Shuffles kShuffles = makeShuffles();

WIDE inline __m512i load(const void* at) {
  return _mm512_loadu_si512(at);
}

// table[index] for 64 bytes at once, `upper` holding the index bytes of 128 and above.
WIDE inline __m512i lookup(const uint8_t* table, __m512i index, __mmask64 upper) {
  const __m512i low = _mm512_permutex2var_epi8(load(table), index, load(table + 64));
  const __m512i high = _mm512_permutex2var_epi8(load(table + 128), index, load(table + 192));
  return _mm512_mask_blend_epi8(upper, low, high);
}

// table[index & 127] for 64 bytes at once.
WIDE inline __m512i lookup128(const uint8_t* table, __m512i index) {
  return _mm512_permutex2var_epi8(load(table), index, load(table + 64));
}

}  // namespace

bool available() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi");
}

static WIDE void convertBlocks(const MatrixRows& rows, const SrgbSteps& curve, const uint8_t* from,
                               uint8_t* to, int32_t blocks) {
  const __m512i one = _mm512_set1_epi8(1);
  const __m512i lastStep = _mm512_set1_epi16(4095);
  const __m512i sixteen = _mm512_set1_epi8(16);
  const __m512i thirtyTwo = _mm512_set1_epi8(32);
  const __m512i lowFive = _mm512_set1_epi16(31);
  const __m512i lowThreeBytes = _mm512_set1_epi8(7);
  const __m512i toSteps = _mm512_set1_epi16(rows.toSteps);
  __m512i share[3][3];
#pragma GCC unroll 3
  for (int out = 0; out < 3; ++out) {
#pragma GCC unroll 3
    for (int in = 0; in < 3; ++in) share[out][in] = _mm512_set1_epi16(rows.share[out][in]);
  }
  // Two passes over up to kChunk blocks at a time: the sums, then the curve and the packing.
  // Each pass is short enough for the processor to work on the next block while one block's
  // long chain of dependent steps runs (a tenth faster than one pass).
  constexpr int kChunk = 8;
  __m512i steps[kChunk][3][2];  // block, output channel: the sums in whole steps, as unpacked
  for (int32_t done = 0; done < blocks; done += kChunk) {
    const int count = blocks - done < kChunk ? blocks - done : kChunk;
    for (int k = 0; k < count; ++k, from += 192) {
      const __m512i packed[3] = {load(from), load(from + 64), load(from + 128)};
      // Linear values as 16-bit lanes, in the order the byte unpacks leave them; the packs at the
      // end restore the pixel order.
      __m512i linear[3][2];
#pragma GCC unroll 3
      for (int c = 0; c < 3; ++c) {
        const __m512i bytes = _mm512_mask_permutexvar_epi8(
            _mm512_permutex2var_epi8(packed[0], load(kShuffles.fromFirstTwo[c]), packed[1]),
            kShuffles.inThird[c], load(kShuffles.fromThird[c]), packed[2]);
        const __mmask64 upper = _mm512_movepi8_mask(bytes);
        const __m512i low = lookup(rows.linearLow[c], bytes, upper);
        const __m512i high = lookup(rows.linearHigh[c], bytes, upper);
        linear[c][0] = _mm512_unpacklo_epi8(low, high);
        linear[c][1] = _mm512_unpackhi_epi8(low, high);
      }
#pragma GCC unroll 3
      for (int out = 0; out < 3; ++out) {
        // The sums rounded to whole steps and kept to 4095 at most; below 0 the packs saturate,
        // and the dark table is read at 0.
#pragma GCC unroll 3
        for (int half = 0; half < 2; ++half) {
          const __m512i sum = _mm512_add_epi16(
              _mm512_add_epi16(_mm512_mulhrs_epi16(linear[0][half], share[out][0]),
                               _mm512_mulhrs_epi16(linear[1][half], share[out][1])),
              _mm512_mulhrs_epi16(linear[2][half], share[out][2]));
          steps[k][out][half] = _mm512_min_epi16(_mm512_mulhrs_epi16(sum, toSteps), lastStep);
        }
      }
    }
    for (int k = 0; k < count; ++k, to += 192) {
      __m512i result[3];
#pragma GCC unroll 3
      for (int out = 0; out < 3; ++out) {
        // Bytes for the tables: the step itself (saturated to 0..255, read below 128), the runs
        // of 8 and of 32 it lies in (saturated to -128..127), and its offset in either run.
        const __m512i dark = _mm512_packus_epi16(steps[k][out][0], steps[k][out][1]);
        const __m512i mid = _mm512_packs_epi16(_mm512_srai_epi16(steps[k][out][0], 3),
                                               _mm512_srai_epi16(steps[k][out][1], 3));
        const __m512i high = _mm512_packs_epi16(_mm512_srai_epi16(steps[k][out][0], 5),
                                                _mm512_srai_epi16(steps[k][out][1], 5));
        const __m512i highOffset = _mm512_packus_epi16(_mm512_and_si512(steps[k][out][0], lowFive),
                                                       _mm512_and_si512(steps[k][out][1], lowFive));
        const __m512i midOffset = _mm512_and_si512(highOffset, lowThreeBytes);
        __m512i midValue = lookup128(curve.midStart, mid);
        __m512i highValue = lookup128(curve.highStart, high);
#pragma GCC unroll 2
        for (int r = 0; r < 2; ++r) {
          midValue = _mm512_mask_add_epi8(
              midValue, _mm512_cmpge_epu8_mask(midOffset, lookup128(curve.midRise[r], mid)),
              midValue, one);
          highValue = _mm512_mask_add_epi8(
              highValue, _mm512_cmpge_epu8_mask(highOffset, lookup128(curve.highRise[r], high)),
              highValue, one);
        }
        const __m512i value =
            _mm512_mask_blend_epi8(_mm512_cmpge_epi8_mask(high, thirtyTwo), midValue, highValue);
        result[out] = _mm512_mask_blend_epi8(_mm512_cmplt_epi8_mask(mid, sixteen), value,
                                             lookup128(curve.dark, dark));
      }
#pragma GCC unroll 3
      for (int r = 0; r < 3; ++r) {
        const __m512i blueGreen =
            _mm512_permutex2var_epi8(result[0], load(kShuffles.fromBlueGreen[r]), result[1]);
        _mm512_storeu_si512(to + 64 * r,
                            _mm512_mask_permutexvar_epi8(blueGreen, kShuffles.isRed[r],
                                                         load(kShuffles.fromRed[r]), result[2]));
      }
    }
  }
}

void convert(const MatrixRows& rows, const SrgbSteps& curve, const uint8_t* from, uint8_t* to,
             int32_t blocks) {
  convertBlocks(rows, curve, from, to, blocks);
}

}  // namespace picodec::wide
