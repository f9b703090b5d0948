// Decoding every container of a corpus: the library's checkContainer and processClass against one
// raw zlib inflate of the same gzip member, in alternating runs, paired for the ratio.
// Usage: kelo_decode_bench --corpus-dir DIR [--pairs N] [--benchmark_... flags]
#include "corpus.h"
#include "decoders.h"
#include "pairs.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int MinimumPairs = 5;
constexpr int DefaultPairs = 15;
constexpr double RatioLimit = 1.03;
const std::string Prefix = "decode";

int usage(const std::string& problem) {
    std::cerr << "kelo_decode_bench: " << problem << "\n"
              << "usage: kelo_decode_bench --corpus-dir DIR [--pairs N (at least " << MinimumPairs
              << ")] [--benchmark_... flags]\n";
    return 2;
}

using Pass = bool (bench::DecodeCorpus::*)();

void registerPass(const std::string& name, bench::DecodeCorpus& corpus, Pass pass) {
    benchmark::RegisterBenchmark(name.c_str(), [&corpus, pass](benchmark::State& state) {
        for (auto _ : state) {
            if (!(corpus.*pass)()) {
                state.SkipWithError("a container failed to decode");
                break;
            }
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(corpus.count()));
        state.SetBytesProcessed(state.iterations() *
                                static_cast<std::int64_t>(corpus.decodedBytes()));
    })->Unit(benchmark::kMicrosecond);
}

// Rows for the run script: the median of the per-pair ratios and the median times. False when
// fewer than MinimumPairs pairs completed.
bool report(const bench::PairReporter& reporter, int pairs) {
    std::vector<double> ratios;
    std::vector<double> keloTimes;
    std::vector<double> zlibTimes;
    for (int pair = 0; pair < pairs; ++pair) {
        const double kelo = reporter.cpuMicroseconds(bench::pairRunName(Prefix, "kelo", pair));
        const double zlib = reporter.cpuMicroseconds(bench::pairRunName(Prefix, "zlib", pair));
        if (kelo <= 0 || zlib <= 0)
            continue;
        std::printf("# pair %d: kelo %.1f us, zlib %.1f us, ratio %.4f\n", pair, kelo, zlib,
                    kelo / zlib);
        ratios.push_back(kelo / zlib);
        keloTimes.push_back(kelo);
        zlibTimes.push_back(zlib);
    }
    if (ratios.size() < static_cast<std::size_t>(MinimumPairs)) {
        std::printf("# only %zu complete pairs: no ratio\n", ratios.size());
        return false;
    }
    std::printf("ROW\tdecode: kelo / raw zlib (median of %zu pairs)\t%.3f\t%.2f\n", ratios.size(),
                bench::median(ratios), RatioLimit);
    std::printf("ROW\tdecode: kelo \xC2\xB5s per corpus pass\t%.1f\t-\n", bench::median(keloTimes));
    std::printf("ROW\tdecode: raw zlib \xC2\xB5s per corpus pass\t%.1f\t-\n",
                bench::median(zlibTimes));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::string directory;
    int pairs = DefaultPairs;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--corpus-dir" && i + 1 < argc)
            directory = argv[++i];
        else if (argument == "--pairs" && i + 1 < argc)
            pairs = std::atoi(argv[++i]);
        else
            return usage("unknown argument " + argument);
    }
    if (directory.empty())
        return usage("--corpus-dir is required");
    if (pairs < MinimumPairs)
        return usage("too few pairs");

    try {
        bench::DecodeCorpus corpus(bench::readCorpus(directory));
        const std::string disagreement = corpus.crossCheck();
        if (!disagreement.empty()) {
            std::cerr << "kelo_decode_bench: " << disagreement << "\n";
            return 1;
        }
        std::printf("# decode: %zu containers, %llu packed bytes, %llu class bytes; CPU time\n",
                    corpus.count(), static_cast<unsigned long long>(corpus.packedBytes()),
                    static_cast<unsigned long long>(corpus.decodedBytes()));
        std::fflush(stdout);
        for (int pair = 0; pair < pairs; ++pair) {
            registerPass(bench::pairRunName(Prefix, "kelo", pair), corpus,
                         &bench::DecodeCorpus::decodeWithKelo);
            registerPass(bench::pairRunName(Prefix, "zlib", pair), corpus,
                         &bench::DecodeCorpus::decodeWithZlib);
        }
        bench::PairReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        benchmark::Shutdown();
        std::cout.flush();
        return report(reporter, pairs) ? 0 : 1;
    } catch (const std::exception& problem) {
        std::cerr << "kelo_decode_bench: " << problem.what() << "\n";
        return 1;
    }
}
