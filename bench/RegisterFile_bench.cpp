// SPDX-License-Identifier: GPL-3.0-or-later
// Load and save of a register description file of 100 000 nodes: 1 000 groups
// of 99 registers each, records like those of a real device map.
//
//   RegisterFile_bench                       run the benchmarks
//   RegisterFile_bench --write FILE.dat      only write the generated file
//   RegisterFile_bench --load FILE.dat       only load a file once (for peak memory)
//   RegisterFile_bench --copy FILE.dat OUT   load a file once and save it as OUT
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "bench/BigTree.h"

namespace {

const std::vector<uint8_t>& Bytes() {
    static const std::vector<uint8_t> bytes = [] {
        vyx::TRegisterTree tree;
        vyx::bench::Generate(tree);
        return vyx::SaveRegisterBytes(tree);
    }();
    return bytes;
}

std::string TempPath() { return "/tmp/vyx-bench-" + std::to_string(::getpid()) + ".dat"; }

void Counters(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes().size()));
    state.counters["nodes"] = vyx::bench::kGroups * (vyx::bench::kPerGroup + 1);
    state.counters["file_bytes"] = static_cast<double>(Bytes().size());
}

void BM_LoadBytes(benchmark::State& state) {
    vyx::TRegisterTree tree;
    for (auto _ : state) {
        vyx::LoadRegisterBytes(tree, Bytes());
        benchmark::DoNotOptimize(tree.Count());
    }
    Counters(state);
}

void BM_SaveBytes(benchmark::State& state) {
    vyx::TRegisterTree tree;
    vyx::LoadRegisterBytes(tree, Bytes());
    for (auto _ : state) benchmark::DoNotOptimize(vyx::SaveRegisterBytes(tree));
    Counters(state);
}

void BM_LoadFile(benchmark::State& state) {
    const std::string path = TempPath();
    {
        vyx::TRegisterTree tree;
        vyx::LoadRegisterBytes(tree, Bytes());
        vyx::SaveRegisterFile(tree, path);
    }
    vyx::TRegisterTree tree;
    for (auto _ : state) {
        vyx::LoadRegisterFile(tree, path);
        benchmark::DoNotOptimize(tree.Count());
    }
    std::remove(path.c_str());
    Counters(state);
}

// Includes the flush to the disk and the rename.
void BM_SaveFile(benchmark::State& state) {
    const std::string path = TempPath();
    vyx::TRegisterTree tree;
    vyx::LoadRegisterBytes(tree, Bytes());
    for (auto _ : state) vyx::SaveRegisterFile(tree, path);
    std::remove(path.c_str());
    Counters(state);
}

void BM_Generate(benchmark::State& state) {
    vyx::TRegisterTree tree;
    for (auto _ : state) {
        vyx::bench::Generate(tree);
        benchmark::DoNotOptimize(tree.Count());
    }
}

BENCHMARK(BM_LoadBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Generate)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--write") == 0) {
        vyx::TRegisterTree tree;
        vyx::bench::Generate(tree);
        vyx::SaveRegisterFile(tree, argv[2]);
        std::printf("%zu nodes: %s\n", tree.Count(), argv[2]);
        return 0;
    }
    if ((argc == 3 && std::strcmp(argv[1], "--load") == 0) ||
        (argc == 4 && std::strcmp(argv[1], "--copy") == 0)) {
        vyx::TRegisterTree tree;
        vyx::LoadRegisterFile(tree, argv[2]);
        if (argc == 4) vyx::SaveRegisterFile(tree, argv[3]);
        std::printf("%zu nodes\n", tree.Count());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
