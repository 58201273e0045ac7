#pragma once
// Measurements on synthesized clips for the generator tests: LPC formants,
// periodicity, and how the spectral energy is spread.
#include <cstdint>
#include <vector>

namespace vocalith::voicegen::test {

struct Formant {
    double hz;
    double bandwidth;
};

// Formants of samples[start, start+length) at 11025/s: pre-emphasis, Hamming
// window, autocorrelation LPC (Levinson-Durbin) of `order`, roots of the
// predictor polynomial; resonances between 90 Hz and 5 kHz narrower than
// 600 Hz, in rising frequency.
std::vector<Formant> MeasureFormants(const std::vector<int16_t>& samples, int start, int length,
                                     int order = 12);

// The highest normalized autocorrelation for lags of 5 to 11 ms (pitch 90 to
// 200 Hz): near 1 for a voiced sound, low for noise.
double Periodicity(const std::vector<int16_t>& samples, int start, int length);

// Share of the energy of samples[start, start+length) between lowHz and highHz
// (Hann-windowed DFT).
double EnergyFraction(const std::vector<int16_t>& samples, int start, int length, double lowHz,
                      double highHz);

// The energy-weighted mean frequency of the same spectrum.
double SpectralCentroid(const std::vector<int16_t>& samples, int start, int length);

// Root mean square and peak magnitude of samples[start, start+length).
double Rms(const std::vector<int16_t>& samples, int start, int length);
int Peak(const std::vector<int16_t>& samples, int start, int length);

}  // namespace vocalith::voicegen::test
