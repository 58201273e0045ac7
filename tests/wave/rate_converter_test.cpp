// The libsoxr rate converter: equal rates are bit-exact, a warmed converter's
// real-time path never allocates, and its look-ahead covers what it reads.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "wave/rate_converter.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VOCALITH_COUNT_ALLOCATIONS 0
#else
#define VOCALITH_COUNT_ALLOCATIONS 1
#endif

#if VOCALITH_COUNT_ALLOCATIONS
// Every allocation of the process passes here while `counting` is set.
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
namespace {
thread_local bool counting = false;
thread_local int allocations = 0;
}  // namespace
extern "C" void* malloc(size_t n) {
    if (counting) ++allocations;
    return __libc_malloc(n);
}
extern "C" void* calloc(size_t a, size_t b) {
    if (counting) ++allocations;
    return __libc_calloc(a, b);
}
extern "C" void* realloc(void* p, size_t n) {
    if (counting) ++allocations;
    return __libc_realloc(p, n);
}
#endif

namespace vocalith::wave {
namespace {

TEST(RateConverterTest, EqualRatesAreBitExact) {
    std::vector<int16_t> s(5000);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>((i * 2654435761u) >> 16);
    EXPECT_EQ(ResampleMono(s, 11025, 11025), s);
}

TEST(RateConverterTest, OneShotKeepsLengthAndLevel) {
    std::vector<int16_t> tone(44100);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(std::lround(
            10000 * std::sin(2 * std::numbers::pi * 1000 * static_cast<double>(i) / 44100)));
    const auto out = ResampleMono(tone, 44100, 11025);
    ASSERT_EQ(out.size(), 11025u);
    double peak = 0;
    for (size_t i = 1000; i < 10000; ++i)
        peak = std::max(peak, std::abs(static_cast<double>(out[i])));
    EXPECT_NEAR(peak, 10000, 50);
}

TEST(RateConverterTest, AWarmedPullNeverAllocates) {
#if !VOCALITH_COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocations are not counted under a sanitizer";
#else
    const struct {
        uint32_t in, out;
        int channels;
    } rows[] = {{11025, 44100, 2}, {11025, 48000, 2}, {44100, 11025, 1}, {22050, 48000, 1},
                {8000, 44100, 2},  {48000, 11025, 2}, {11025, 22050, 1}, {192000, 11025, 2},
                {22050, 11025, 2}, {48000, 44100, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.in << " -> " << row.out);
        RateConverter c;
        ASSERT_TRUE(c.Create(row.in, row.out, row.channels));
        ASSERT_TRUE(c.Warm());
        std::vector<float> out(2048 * 2);
        uint64_t fed = 0;
        uint64_t made = 0;
        uint64_t lag = 0;
        auto fill = [&](float* in, size_t n) {
            for (size_t i = 0; i < n * static_cast<size_t>(row.channels); ++i)
                in[i] = static_cast<float>(8000 * std::sin(0.003 * static_cast<double>(fed + i)));
            fed += n;
        };
        counting = true;
        allocations = 0;
        for (int period = 0; period < 2000; ++period) {
            const size_t n = row.out / 100 + static_cast<size_t>(period % 9) * 17;
            c.Pull(out.data(), n, fill);
            made += n;
            const uint64_t position = made * row.in / row.out;
            if (fed > position) lag = std::max(lag, fed - position);
        }
        counting = false;
        EXPECT_EQ(allocations, 0);
        EXPECT_LE(lag, c.LookaheadFrames()) << "input read past the look-ahead";
    }
#endif
}

}  // namespace
}  // namespace vocalith::wave
