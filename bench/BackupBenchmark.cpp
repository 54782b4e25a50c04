// The body of one backup upload for a macro of 10,000 actions (compact JSON, Base64,
// SHA-256 of the same bytes), against its baseline: writing the macro's compact JSON
// alone, which any upload needs.
#include "Codec/MacroJsonEncoder.h"
#include "LibraryGenerator.h"
#include "Services/Cloud/BackupSyncService.h"

#include <benchmark/benchmark.h>

namespace {

const Macro& macro()
{
    static const Macro m = generateLibrary(1, 10'000).front();
    return m;
}

void BM_MacroCompactJson(benchmark::State& state)
{
    for (auto _ : state) {
        auto bytes = MacroJsonEncoder::encodeMacro(macro(), JsonWriter::Layout::compact);
        benchmark::DoNotOptimize(bytes);
    }
}

void BM_BackupPayload(benchmark::State& state)
{
    qint64 size = 0;
    for (auto _ : state) {
        auto body = BackupSyncService::payload(macro());
        size = body.value().size();
        benchmark::DoNotOptimize(body);
    }
    state.counters["body_KB"] = double(size) / 1e3;
}

} // namespace

BENCHMARK(BM_MacroCompactJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BackupPayload)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
