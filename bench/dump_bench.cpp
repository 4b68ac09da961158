// Writing and reading a debug dump of the device's 120 variables through a real file.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "values/DebugDump.h"

namespace {

std::vector<std::pair<MString, MString>> Entries()
{
    const char16_t *values[] = {u"12,5", u"007", u"0x1F", u"--", u"3000000000", u"-4", u"0", u"13.75"};
    std::vector<std::pair<MString, MString>> entries;
    for (int i = 0; i < 120; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%s.Var%03d", i % 2 ? "Reg" : "Adc", (i * 37) % 120);
        entries.emplace_back(MString::FromUtf8(name), MString(values[i % 8]));
    }
    return entries;
}

class TempDumpPath {
public:
    TempDumpPath()
    {
        char pattern[] = "/tmp/dump_bench_XXXXXX";
        dir_ = ::mkdtemp(pattern) ? pattern : "/tmp";
        file_ = dir_ + "/bench.debug";
    }
    ~TempDumpPath()
    {
        ::unlink(file_.c_str());
        ::rmdir(dir_.c_str());
    }
    MString Path() const { return MString::FromUtf8(file_); }

private:
    std::string dir_;
    std::string file_;
};

void BM_SaveDebugDump(benchmark::State &state)
{
    const auto entries = Entries();
    TempDumpPath temp;
    const MString path = temp.Path();
    for (auto _ : state) {
        if (!SaveDebugDump(path, entries))
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_SaveDebugDump);

void BM_ReadDebugDump(benchmark::State &state)
{
    TempDumpPath temp;
    const MString path = temp.Path();
    if (!SaveDebugDump(path, Entries())) {
        state.SkipWithError("save failed");
        return;
    }
    for (auto _ : state) {
        const std::vector<MString> lines = ReadDebugDump(path);
        if (lines.size() != 120)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_ReadDebugDump);

}  // namespace
