// Spectral tools for shaping and judging clips: a small FFT, linear
// prediction, and the smoothing of a vowel's spectral envelope.
//
// A clip is one steady stretch of a recording, played wherever its phoneme
// comes, so whatever colours that stretch is heard in every word. A vocal
// tract shapes a vowel's spectrum into a few broad formant peaks, which a
// low-order all-pole envelope follows closely. A recording can carry more:
// a reflection off a desk or wall next to the microphone lays a comb of
// peaks about 1 kHz apart over it, and some synthetic voices give their
// vowels an uneven spread of harmonics of their own. In running speech the
// ear follows the formants as they move through such ripple; in a clip held
// steady the ripple reads as formants that are not there. So a vowel whose
// envelope ripples well beyond a vocal tract's is brought back to the
// all-pole envelope; one that does not is left exactly as it was.
#pragma once

#include <complex>
#include <span>
#include <vector>

namespace vocalith::voicebuild {

// In-place FFT of a power-of-two length; the inverse includes the 1/N.
void Fft(std::span<std::complex<double>> a, bool inverse = false);

// Linear prediction coefficients a[0..p] (a[0] = 1) from autocorrelation
// r[0..p] (Levinson's recursion); false when r does not give a stable filter.
bool LinearPrediction(std::span<const double> r, std::span<double> a);

// How far a vowel's spectral envelope (200-4500 Hz) ripples about a vocal
// tract's all-pole envelope: the median over 40 ms frames of the RMS of
// their difference, dB. 0 for a clip too short or too faint to measure.
double EnvelopeRipple(std::span<const double> clip);

// Brings a vowel clip's spectral envelope toward the all-pole one, fully
// from a ripple of 4.5 dB, not at all below 3.8 dB, keeping its pitch, phase,
// length and RMS level. Returns whether the clip changed.
bool SmoothVowelEnvelope(std::vector<double>& clip);

}  // namespace vocalith::voicebuild
