#pragma once
// Numbers and money: the number words that Translator::SayCardinal,
// SayOrdinal, ScanNumber and ScanDollars (numbers.cpp) put together.

namespace vocalith::translate {

// Number words; each ends with one blank.
extern const char* const CardinalWords[20];    // 0..19
extern const char* const OrdinalWords[20];     // 0th..19th
extern const char* const TensWords[8];         // 20, 30, .. 90
extern const char* const OrdinalTensWords[8];  // 20th, 30th, .. 90th

}  // namespace vocalith::translate
