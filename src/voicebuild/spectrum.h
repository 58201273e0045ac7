// Spectral tools for shaping and judging clips: a small FFT, linear
// prediction, and the smoothing of a vowel's spectral envelope.
//
// A clip is one steady stretch of a recording, played wherever its phoneme
// comes. A vocal tract shapes a vowel's spectrum into a few broad formant
// peaks, which a low-order all-pole envelope follows closely. Some voices
// lay a ripple of their own over it that changes from vowel to vowel (the
// uneven harmonics of a synthetic voice, for one): in running speech the ear
// follows the formants as they move through it, but in a clip held steady
// the ripple reads as formants that are not there, and built voices were
// misheard for it. Such a vowel's envelope is brought back to the all-pole
// one. What every vowel of a take shares (the microphone, a reflection off
// the desk, the room) is the channel: a listener, and a recognizer's
// normalisation, take it out over a whole utterance, and a clip cleared of
// it would stand apart from the consonants around it, so it is measured over
// the take's vowels and not counted as ripple. A vowel without ripple of
// its own is left exactly as it was.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "wave/pcm_format.h"

namespace vocalith::voicebuild {

// Takes and clips are measured at the system's sample rate.
inline constexpr double TAKE_RATE = wave::SYSTEM_SAMPLE_RATE;

// In-place FFT of a power-of-two length; the inverse includes the 1/N.
void Fft(std::span<std::complex<double>> a, bool inverse = false);

// Linear prediction coefficients a[0..p] (a[0] = 1) from autocorrelation
// r[0..p] (Levinson's recursion); false when r does not give a stable filter.
bool LinearPrediction(std::span<const double> r, std::span<double> a);

// The channel of a take: the mean over its vowel clips of how far their
// envelope lies from the all-pole one, per bin of a 1024-point spectrum.
// Empty when fewer than 8 clips can be measured: too few to tell the
// channel from the vowels' own ripple.
std::vector<double> VowelChannel(std::span<const std::span<const int16_t>> vowelClips);

// How far a vowel's spectral envelope (200-4500 Hz) ripples about the
// all-pole one beyond the take's `channel`: the median over 40 ms frames of
// the RMS of their difference, dB. 0 for a clip too short or too faint to
// measure, or without a channel.
double EnvelopeRipple(std::span<const int16_t> clip, std::span<const double> channel);

// Brings a vowel clip's spectral envelope toward the all-pole one, fully
// from a ripple of 3.6 dB, not at all below 3.1 dB, keeping its pitch,
// phase, length and RMS level. Returns whether the clip changed.
bool ClearVowelRipple(std::vector<int16_t>& clip, std::span<const double> channel);

// Clears each of a take's vowel clips of a ripple of its own, against the
// channel they show together. Returns how many changed.
size_t ClearTakeRipple(std::span<std::vector<int16_t>> vowelClips);

// The share of a clip's power between 1.8 and 4.5 kHz, where a front
// vowel's second and third formants lie, dB (negative; -120 for silence).
double UpperBalance(std::span<const int16_t> clip);

// Raises the front vowels (IY IH EY) whose upper formants lie far below
// the rest of their take. Some voices ("beet" from a lax, dark voice) give
// a front vowel's second and third formants 20 dB less than the vowel's
// own kind has: in running speech the listener follows them into the
// consonants, but held steady in a clip the vowel is heard as a back one.
// Each vowel's balance (UpperBalance) is set against what its kind has;
// the median of those differences over the take is the voice's own tilt,
// kept as it is; a front vowel more than 5 dB below it is raised
// above 1.8 kHz to it, keeping pitch, length and RMS level. `codes[i]` is
// the phoneme of `vowelClips[i]`. Returns how many changed.
size_t BrightenDarkFrontVowels(std::span<std::vector<int16_t>> vowelClips,
                               std::span<const int> codes);

// Brings a reduced vowel (the schwa) to the neutral tube's formants: frame
// by frame, a first formant above a third of the second is moved down to it,
// keeping F2 and above, the pitch, length and RMS level. A schwa said in a
// word alone ("alone") comes out nearly as open as "but"; in running speech
// it is the most frequent vowel and the least open, and a listener hears an
// open one as another vowel. Returns whether the clip changed.
bool CentreReducedVowel(std::vector<int16_t>& clip);

}  // namespace vocalith::voicebuild
