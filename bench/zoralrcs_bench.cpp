// Loading a generated system file of 100 to 100,000 settings through the
// configuration API (without touching the environment), beside inih parsing
// the same file; and looking names up in a large store.
#include <benchmark/benchmark.h>

#include <ini.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "qelsconf.h"
#include "zoralrcs_internal.h"

// Each load frees what the one before took. Left to itself the C library gives that memory back
// to the kernel between loads and faults it in again, page by page; on a virtual machine where a
// fault costs microseconds that measures the kernel, not the load. The process keeps its heap, as
// one that loads its configuration once never meets the case.
static const bool heap_kept =
    mallopt(M_TRIM_THRESHOLD, 1 << 30) == 1 && mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1;

static std::string __setting_name(int i) {
    return "NAME_" + std::to_string(i);
}

// A system file of count settings in sections of 100 that alternate between the
// privileged and the non-privileged level, a comment line before every tenth
// setting, and every tenth setting referring to the one before it.
static std::string __config_file(int count) {
    char path[] = "/tmp/vaxo_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return "";
    FILE *file = fdopen(fd, "w");
    fputs("[PRIVILEGED]\nBASE = /opt/base\n", file);
    for (int i = 0; i < count; i++) {
        if (i % 100 == 0)
            fputs(i / 100 % 2 == 0 ? "[NONPRIVILEGED]\n" : "[PRIVILEGED]\n", file);
        if (i % 10 == 9)
            fprintf(file,
                    "# setting %d derives from the one before\n"
                    "NAME_%d = ${NAME_%d}/sub # derived\n",
                    i, i, i - 1);
        else
            fprintf(file, "NAME_%d = $BASE/value/%d\n", i, i);
    }
    fclose(file);
    return path;
}

// Whether the store holds the file of count settings as written: its last setting derived.
static bool __loaded_as_written(int count) {
    std::string expected = "/opt/base/value/" + std::to_string(count - 2) + "/sub";
    const char *found = QelsConfQuery(__setting_name(count - 1).c_str(), QELSCONF_ALL_LEVELS);
    return found != NULL && expected == found;
}

static void __counts(benchmark::internal::Benchmark *bench) {
    bench->Arg(100)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
}

// Each iteration frees the store, gives the process back the environment it started
// with and loads the file again, exporting every setting to the environment or none.
static void __load(benchmark::State &state, bool exported) {
    int count = static_cast<int>(state.range(0));
    std::string path = __config_file(count);
    if (path.empty()) {
        state.SkipWithError("no temporary file");
        return;
    }
    if (!exported)
        setenv("__QELSCONF_NOENV", "1", 1);
    // The starting environment in an array only this program owns: the C library may
    // move its own array when a load sets a variable, and the old one would then be gone.
    static std::vector<char *> environment;
    size_t entries = 0;
    while (environ[entries] != NULL)
        entries++;
    std::vector<char *> copy(environ, environ + entries + 1);
    environment.swap(copy);
    environ = environment.data();
    QelsConfSetPath(path.c_str());
    for (auto _ : state) {
        QelsConfRemove();
        environ = environment.data();
        QelsConfCreate();
    }
    const char *variable = getenv(__setting_name(count - 1).c_str());
    if (!__loaded_as_written(count) || (variable != NULL) != exported)
        state.SkipWithError("the file was not read or exported as written");
    QelsConfRemove();
    QelsConfSetPath(NULL);
    environ = environment.data();
    unsetenv("__QELSCONF_NOENV");
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations() * count);
}

static void BM_LoadConfiguration(benchmark::State &state) {
    __load(state, false);
}
BENCHMARK(BM_LoadConfiguration)->Apply(__counts)->Arg(20000);

// The same load exporting every setting, none of which the environment holds yet.
static void BM_LoadConfigurationExported(benchmark::State &state) {
    __load(state, true);
}
BENCHMARK(BM_LoadConfigurationExported)->Arg(1000)->Arg(20000)->Unit(benchmark::kMicrosecond);

static int __count_setting(void *user, const char *, const char *, const char *) {
    ++*static_cast<long *>(user);
    return 1;
}

// The peer's parse alone: a handler that only counts.
static void BM_PeerParse(benchmark::State &state) {
    int count = static_cast<int>(state.range(0));
    std::string path = __config_file(count);
    long settings = 0;
    for (auto _ : state) {
        settings = 0;
        ini_parse(path.c_str(), __count_setting, &settings);
    }
    if (settings != count + 1)
        state.SkipWithError("the peer did not read every setting");
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_PeerParse)->Apply(__counts);

// Our load and the peer's parse of the same file, one after the other in each iteration, so that
// both meet the machine in the same state; "ratio" is our time over the peer's.
static void BM_LoadAgainstPeer(benchmark::State &state) {
    using clock = std::chrono::steady_clock;
    int count = static_cast<int>(state.range(0));
    std::string path = __config_file(count);
    if (path.empty() || !heap_kept) {
        state.SkipWithError("no temporary file, or the heap cannot be kept");
        return;
    }
    setenv("__QELSCONF_NOENV", "1", 1);
    QelsConfSetPath(path.c_str());
    clock::duration ours{}, peer{};
    long settings = 0;
    for (auto _ : state) {
        clock::time_point start = clock::now();
        QelsConfRemove();
        QelsConfCreate();
        clock::time_point loaded = clock::now();
        settings = 0;
        ini_parse(path.c_str(), __count_setting, &settings);
        peer += clock::now() - loaded;
        ours += loaded - start;
    }
    if (!__loaded_as_written(count) || settings != count + 1)
        state.SkipWithError("a side did not read every setting");
    QelsConfRemove();
    QelsConfSetPath(NULL);
    unsetenv("__QELSCONF_NOENV");
    unlink(path.c_str());
    state.counters["ratio"] = static_cast<double>(ours.count()) / static_cast<double>(peer.count());
}
BENCHMARK(BM_LoadAgainstPeer)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

using PeerStore = std::map<std::string, std::map<std::string, std::string>>;

static int __store_setting(void *user, const char *section, const char *name, const char *value) {
    (*static_cast<PeerStore *>(user))[section][name] = value;
    return 1;
}

// The peer's parse with the settings kept, as a caller would keep them.
static void BM_PeerParseAndKeep(benchmark::State &state) {
    int count = static_cast<int>(state.range(0));
    std::string path = __config_file(count);
    for (auto _ : state) {
        PeerStore store;
        ini_parse(path.c_str(), __store_setting, &store);
        benchmark::DoNotOptimize(store.size());
    }
    unlink(path.c_str());
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_PeerParseAndKeep)->Apply(__counts);

static void BM_Lookup(benchmark::State &state) {
    std::string path = __config_file(100000);
    FILE *file = fopen(path.c_str(), "r");
    if (file == NULL) {
        state.SkipWithError("no temporary file");
        return;
    }
    psinitrc();
    psreadfile(file, 7);
    fclose(file);
    unlink(path.c_str());
    std::string name = __setting_name(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(fscheckrc(name.c_str(), 7));
    psdeleterc();
}
BENCHMARK(BM_Lookup)->Arg(0)->Arg(99999);
