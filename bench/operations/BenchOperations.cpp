// SPDX-License-Identifier: MIT
// Every image operation on a 3840 × 2400 B_RGB32 picture of random pixels, beside a copy
// of the same buffer. The copy goes into a freshly allocated bitmap, as every operation's
// result does, so both pay the same page faults; the summary gives each operation's time
// as a multiple of that copy.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "image/OrvImage.h"

namespace {

constexpr uint32 kWidth = 3840;
constexpr uint32 kHeight = 2400;

const OrvImage& Picture() {
    static const std::unique_ptr<OrvImage> picture = [] {
        auto image = std::make_unique<OrvImage>(BRect(0, 0, kWidth - 1, kHeight - 1), B_RGB32);
        std::mt19937 random(7);
        auto* words = static_cast<uint32*>(image->Bits());
        for (size_t i = 0; i < size_t(kWidth) * kHeight; ++i) {
            words[i] = random();
        }
        return image;
    }();
    return *picture;
}

void Copy(benchmark::State& state) {
    const OrvImage& source = Picture();
    for (auto _ : state) {
        auto copy = std::make_unique<OrvImage>(source.Bounds(), source.ColorSpace());
        std::memcpy(copy->Bits(), source.Bits(), size_t(source.BitsLength()));
        benchmark::DoNotOptimize(copy->Bits());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64(state.iterations()) * source.BitsLength());
}

using Operation = std::function<std::unique_ptr<OrvImage>(const OrvImage&)>;

void Run(benchmark::State& state, const Operation& operation) {
    const OrvImage& source = Picture();
    for (auto _ : state) {
        auto result = operation(source);
        benchmark::DoNotOptimize(result->Bits());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64(state.iterations()) * source.BitsLength());
}

// Prints the usual table, then each operation's time (in milliseconds, the unit every
// benchmark here reports in) against the copy's: wall-clock time, and processor time,
// which holds steadier on a machine busy with other work.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(OutputOptions options) : ConsoleReporter(options) {}

    // With --benchmark_repetitions the median stands for each benchmark.
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((single || median) && !run.error_occurred) {
                fTimes.push_back({run.run_name.function_name, run.GetAdjustedRealTime(),
                                  run.GetAdjustedCPUTime()});
            }
        }
    }

    void PrintRatios() const {
        const auto copy = std::find_if(fTimes.begin(), fTimes.end(),
                                       [](const Times& times) { return times.name == "Copy"; });
        if (copy == fTimes.end() || copy->real <= 0 || copy->cpu <= 0) {
            return;
        }
        std::printf("\n%-22s %10s %10s %12s %12s\n", "operation", "real (ms)", "cpu (ms)",
                    "real x copy", "cpu x copy");
        for (const Times& times : fTimes) {
            std::printf("%-22s %10.2f %10.2f %12.2f %12.2f\n", times.name.c_str(), times.real,
                        times.cpu, times.real / copy->real, times.cpu / copy->cpu);
        }
    }

private:
    struct Times {
        std::string name;
        double real;
        double cpu;
    };
    std::vector<Times> fTimes;
};

void Register(const char* name, Operation operation) {
    benchmark::RegisterBenchmark(name,
                                 [operation](benchmark::State& state) { Run(state, operation); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RegisterBenchmark("Copy", Copy)->Unit(benchmark::kMillisecond)->UseRealTime();
    Register("InvertColors", [](const OrvImage& image) { return image.InvertColors(); });
    Register("GreyScale", [](const OrvImage& image) { return image.GreyScale(); });
    Register("Exchange(0xFFFF00)",
             [](const OrvImage& image) { return image.Exchange(kSwapRedGreen); });
    Register("Exchange(0xFFFF)",
             [](const OrvImage& image) { return image.Exchange(kSwapGreenBlue); });
    Register("Exchange(0xFF00FF)",
             [](const OrvImage& image) { return image.Exchange(kSwapBlueRed); });
    Register("Mirror", [](const OrvImage& image) { return image.Mirror(); });
    Register("Flip", [](const OrvImage& image) { return image.Flip(); });
    Register("Rotate180", [](const OrvImage& image) { return image.Rotate180(); });
    Register("Smooth", [](const OrvImage& image) { return image.Smooth(); });
    for (int32 type = 1; type <= 3; ++type) {
        const std::string name = "HandDrawing(" + std::to_string(type) + ")";
        Register(name.c_str(), [type](const OrvImage& image) { return image.HandDrawing(type); });
    }
    RatioReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Defaults
                                                 : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
