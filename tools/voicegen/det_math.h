#pragma once
// Deterministic elementary functions for the build-time sound generators.
//
// The generated voice and start-up sound must be the same bytes on every
// machine and compiler. The C library's exp/sin/cos may differ in the last
// bit between versions, so the sample path uses only +, -, *, / and sqrt
// (all correctly rounded under IEEE 754) and the series below instead.
// The generator targets are also compiled with -ffp-contract=off so that no
// multiply-add is fused differently on different processors.

namespace vocalith::voicegen {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kSampleRate = 11025.0;

// e^x by range reduction to |r| <= ln2/2 and a Taylor series; 0 below -700.
double DetExp(double x);

// cos(x) and sin(x) by reduction to [-pi, pi] and a Taylor series.
double DetCos(double x);
double DetSin(double x);

// 10^(db/20): a level in decibels as a linear amplitude factor.
double DbToAmp(double db);

}  // namespace vocalith::voicegen
