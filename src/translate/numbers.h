#pragma once
// Numbers and money: cardinal and ordinal words for signed 32-bit values, and
// the scanners for digit strings (with ordinal suffixes, decimal fractions and
// glued letters) and dollar amounts. All output goes through EmitString.
#include <cstdint>

namespace vocalith::translate {

// Number words; each ends with one blank.
extern const char* const CardinalWords[20];    // 0..19
extern const char* const OrdinalWords[20];     // 0th..19th
extern const char* const TensWords[8];         // 20, 30, .. 90
extern const char* const OrdinalTensWords[8];  // 20th, 30th, .. 90th

void SayCardinal(int32_t n);
void SayOrdinal(int32_t n);

// Called with a digit in C0: consumes the digit string, an ordinal suffix, a
// decimal fraction and letters glued to the number.
void ScanNumber();
// Called with "$" in C0 and a digit in C1: consumes the sign and the amount.
void ScanDollars();

}  // namespace vocalith::translate
