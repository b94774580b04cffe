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
#include "registers/Text.h"

namespace {

constexpr int kGroups = 1000;
constexpr int kPerGroup = 99;  // with its group: 100 nodes

void Generate(vyx::TRegisterTree& tree) {
    static const char* const kTypes[] = {"WORD", "INT", "REAL", "TEXT", "HEX", "PREC", "FLOAT", "FINE"};
    static const char* const kValues[] = {"123", "-45", "12,50", "Zbiornik 1", "$0A", "0,12345678",
                                          "400,00", "1,0000"};
    static const char* const kLengths[] = {"1", "1", "2", "8", "1", "2", "2", "2"};
    tree.Clear();
    int address = 40001;
    for (int g = 0; g < kGroups; ++g) {
        vyx::TNode* group = tree.AddChild(nullptr);
        group->Record.Name = vyx::U16("Grupa rejestrów " + std::to_string(g));
        group->Record.Note = vyx::U16("Opis grupy");
        group->States = vyx::kStateInitialized | vyx::kStateVisible | vyx::kStateHasChildren;
        for (int r = 0; r < kPerGroup; ++r) {
            const int t = r % 8;
            vyx::TNode* n = tree.AddChild(group);
            n->Record = {vyx::U16("Rejestr pomiarowy " + std::to_string(g) + "." + std::to_string(r)),
                         vyx::U16("Wartość zmierzona, jednostka °C"),
                         vyx::U16(std::to_string(address)),
                         vyx::U16(kTypes[t]),
                         vyx::U16(kLengths[t]),
                         vyx::U16(r % 3 == 0 ? "RO" : "RW"),
                         vyx::U16(kValues[t])};
            n->States = vyx::kStateInitialized | vyx::kStateVisible;
            address = address >= 65000 ? 40001 : address + 2;
        }
    }
}

const std::vector<uint8_t>& Bytes() {
    static const std::vector<uint8_t> bytes = [] {
        vyx::TRegisterTree tree;
        Generate(tree);
        return vyx::SaveRegisterBytes(tree);
    }();
    return bytes;
}

std::string TempPath() { return "/tmp/vyx-bench-" + std::to_string(::getpid()) + ".dat"; }

void Counters(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Bytes().size()));
    state.counters["nodes"] = kGroups * (kPerGroup + 1);
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
        Generate(tree);
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
        Generate(tree);
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
