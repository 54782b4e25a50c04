// Reading and writing a library of a million actions, against general-purpose JSON
// libraries reading the same bytes. One iteration handles the whole library.
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "LibraryGenerator.h"
#include "Services/StorageService.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

namespace {

constexpr int kMacros = 100;
constexpr int kActionsPerMacro = 10'000;

const std::vector<Macro>& library()
{
    static const std::vector<Macro> macros = generateLibrary(kMacros, kActionsPerMacro);
    return macros;
}

// The indented library text, with the decoder's padding available after it.
const QByteArray& libraryBytes()
{
    static const QByteArray bytes = [] {
        const QByteArray text = MacroJsonEncoder::encodeLibrary(library()).value();
        QByteArray padded = MacroJsonDecoder::paddedBuffer(text.size());
        padded.append(text);
        return padded;
    }();
    return bytes;
}

void reportBytes(benchmark::State& state)
{
    state.SetBytesProcessed(std::int64_t(state.iterations()) * libraryBytes().size());
    state.counters["actions"] = double(kMacros) * kActionsPerMacro;
    state.counters["file_MB"] = double(libraryBytes().size()) / 1e6;
}

void BM_DecodeQuillo(benchmark::State& state)
{
    const QByteArray& bytes = libraryBytes();
    for (auto _ : state) {
        auto macros = MacroJsonDecoder::decodeLibrary(bytes);
        if (!macros || macros.value().size() != std::size_t(kMacros))
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(macros);
    }
    reportBytes(state);
}

void BM_DecodeNlohmann(benchmark::State& state)
{
    const QByteArray& bytes = libraryBytes();
    for (auto _ : state) {
        auto json = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd());
        benchmark::DoNotOptimize(json);
    }
    reportBytes(state);
}

void BM_DecodeQJson(benchmark::State& state)
{
    const QByteArray& bytes = libraryBytes();
    for (auto _ : state) {
        QJsonParseError error;
        auto json = QJsonDocument::fromJson(bytes, &error);
        if (error.error != QJsonParseError::NoError)
            state.SkipWithError(qPrintable(error.errorString()));
        benchmark::DoNotOptimize(json);
    }
    reportBytes(state);
}

void BM_EncodeQuillo(benchmark::State& state)
{
    for (auto _ : state) {
        auto bytes = MacroJsonEncoder::encodeLibrary(library());
        benchmark::DoNotOptimize(bytes);
    }
    reportBytes(state);
}

void BM_EncodeNlohmann(benchmark::State& state)
{
    const auto json = nlohmann::json::parse(libraryBytes().constBegin(), libraryBytes().constEnd());
    for (auto _ : state) {
        auto text = json.dump(2);
        benchmark::DoNotOptimize(text);
    }
    reportBytes(state);
}

void BM_EncodeQJson(benchmark::State& state)
{
    const auto json = QJsonDocument::fromJson(libraryBytes());
    for (auto _ : state) {
        auto text = json.toJson(QJsonDocument::Indented);
        benchmark::DoNotOptimize(text);
    }
    reportBytes(state);
}

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    }
    return -1;
}

// Loads the library at `path` and prints how much the resident set grew at its peak
// (KiB), or -1. Runs in a fresh process so that nothing else is counted.
int measureLoad(const char* path)
{
    const long before = statusKiB("VmRSS:");
    StorageService store(QString::fromLocal8Bit(path));
    auto loaded = store.loadAll();
    const bool ok = loaded && loaded.value().size() == std::size_t(kMacros);
    std::printf("%ld\n", ok ? statusKiB("VmHWM:") - before : -1L);
    return ok ? 0 : 1;
}

// Peak memory that loading the library file adds, in a fresh child process.
void BM_DecodeQuilloLoadPeakMemory(benchmark::State& state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/macros.json");
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(libraryBytes());
    }
    double peakMB = -1;
    for (auto _ : state) {
        QProcess child;
        child.start(QStringLiteral("/proc/self/exe"), {QStringLiteral("--measure-load"), path});
        child.waitForFinished(-1);
        bool ok = false;
        const long grownKiB = child.readAllStandardOutput().trimmed().toLong(&ok);
        if (!ok || grownKiB < 0)
            state.SkipWithError("load failed in the child");
        peakMB = double(grownKiB) / 1024.0;
    }
    reportBytes(state);
    state.counters["load_peak_MiB"] = peakMB;
    state.counters["over_file_MiB"] = peakMB - double(libraryBytes().size()) / (1024.0 * 1024.0);
}

} // namespace

BENCHMARK(BM_DecodeQuillo)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_DecodeNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeQJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeQuillo)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_EncodeNlohmann)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeQJson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeQuilloLoadPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--measure-load") == 0)
        return measureLoad(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
