// Reading a message of the largest size the module takes (8 MiB): plain
// text, '&' that start no entity, entities, and tags with quoted values.
// Each should take about as long per byte as plain text.
#include <benchmark/benchmark.h>

#include <string>

#include "speechd/module_protocol.h"
#include "speechd/ssml_text.h"

namespace {

std::string Filled(const std::string& unit) {
    std::string text;
    while (text.size() + unit.size() <= vocalith::speechd::MESSAGE_LIMIT) text += unit;
    return text;
}

void BM_ParseSsml(benchmark::State& state, const std::string& unit) {
    const std::string text = Filled(unit);
    for (auto _ : state) benchmark::DoNotOptimize(vocalith::speechd::ParseSsml(text));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

BENCHMARK_CAPTURE(BM_ParseSsml, plain, std::string("abcd"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseSsml, ampersands, std::string("R&D "))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseSsml, entities, std::string("&lt; "))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ParseSsml, quoted_tags, std::string("<mark name='a>b'/>"))
    ->Unit(benchmark::kMillisecond);

}  // namespace
