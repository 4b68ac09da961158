// Cost of turning device values into texts and back, done for every polled variable.
#include <benchmark/benchmark.h>

#include <array>

#include "values/MString.h"

namespace {

const std::array<double, 6> kValues = {14.2, 0.0, -3.75, 1.0 / 3, 12345678901.0, 1.5e-7};

void BM_FromReal(benchmark::State &state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        MString s = MString::FromReal(kValues[i++ % kValues.size()], 10, 5);
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_FromReal);

void BM_ToReal(benchmark::State &state)
{
    const std::array<MString, 6> texts = {MString(u"14,2"),           MString(u"0"),
                                          MString(u"-3.75"),          MString(u"0,33333"),
                                          MString(u"1,23456789e+10"), MString(u"1,5e-07")};
    std::size_t i = 0;
    for (auto _ : state) {
        double v = texts[i++ % texts.size()].ToReal();
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_ToReal);

void BM_RoundTrip(benchmark::State &state)
{
    std::size_t i = 0;
    for (auto _ : state) {
        double v = MString::FromReal(kValues[i++ % kValues.size()], 10, 5).ToReal();
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_RoundTrip);

}  // namespace
