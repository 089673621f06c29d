// Reading a large configuration file into a fresh store, and looking names up in it.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <string>

#include "zoralrcs_internal.h"

// A file of count settings, every tenth referring to the one before it.
static FILE *__config_file(int count) {
    FILE *file = tmpfile();
    if (file == NULL)
        return NULL;
    fputs("[PRIVILEGED]\nBASE = /opt/base\n[NONPRIVILEGED]\n", file);
    for (int i = 0; i < count; i++) {
        if (i % 10 == 9)
            fprintf(file, "NAME_%d = ${NAME_%d}/sub # derived\n", i, i - 1);
        else
            fprintf(file, "NAME_%d = $BASE/value/%d\n", i, i);
    }
    return file;
}

static void BM_ReadFile(benchmark::State &state) {
    FILE *file = __config_file(static_cast<int>(state.range(0)));
    if (file == NULL) {
        state.SkipWithError("no temporary file");
        return;
    }
    for (auto _ : state) {
        rewind(file);
        psinitrc();
        psreadfile(file, 7);
        psdeleterc();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    fclose(file);
}
BENCHMARK(BM_ReadFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

static void BM_Lookup(benchmark::State &state) {
    FILE *file = __config_file(100000);
    if (file == NULL) {
        state.SkipWithError("no temporary file");
        return;
    }
    rewind(file);
    psinitrc();
    psreadfile(file, 7);
    fclose(file);
    std::string name = "NAME_" + std::to_string(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(fscheckrc(name.c_str(), 3));
    psdeleterc();
}
BENCHMARK(BM_Lookup)->Arg(0)->Arg(99999);
