// Cost of the allocation layer and of a symbol lookup through a handle record.
#include <benchmark/benchmark.h>

#include "dynlib.h"
#include "omx_memory.h"

static void BM_OmxMemAllocFree(benchmark::State &state) {
    for (auto _ : state) {
        void *p = OmxMemAlloc(static_cast<size_t>(state.range(0)));
        benchmark::DoNotOptimize(p);
        OmxMemFree(p);
    }
}
BENCHMARK(BM_OmxMemAllocFree)->Arg(16)->Arg(4096);

static void BM_LoadProc(benchmark::State &state) {
    DynLibHandle *lib = nullptr;
    if (LoadDynLib("libc.so.6", &lib) != 0) {
        state.SkipWithError("libc.so.6 not loadable");
        return;
    }
    for (auto _ : state) {
        void *address = nullptr;
        LoadProc(lib, "", "strlen", &address);
        benchmark::DoNotOptimize(address);
    }
    ReleaseDynLibHandle(lib);
}
BENCHMARK(BM_LoadProc);
