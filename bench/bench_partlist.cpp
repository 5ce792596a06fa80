// bench_partlist - whole-process benchmarks of the partlist command on generated designs.
//
// Each benchmark generates its design once (gendesign, in a temporary directory), then runs
// `partlist -p . top.sch` in that directory as a child process per iteration, and reports the input
// rate (file bytes over wall time) and the child's peak resident memory. A `cat`-to-/dev/null run
// of the same files is the baseline the run is compared with.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <map>
#include <string>
#include <vector>

extern char **environ;

namespace {

struct Design {
    std::string dir;
    std::vector<std::string> files;
    double bytes = 0;
};

struct RunResult {
    int status;
    long maxrss_kb;
};

RunResult run(const std::vector<std::string> &args, const char *dir = nullptr) {
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    if (dir != nullptr) posix_spawn_file_actions_addchdir_np(&fa, dir);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ru.ru_maxrss};
}

// Generated designs, cached per argument list for the life of the benchmark process and removed
// with it.
struct DesignCache {
    std::map<std::vector<std::string>, Design> designs;
    ~DesignCache() {
        for (auto &entry : designs) {
            std::error_code ignored;
            std::filesystem::remove_all(entry.second.dir, ignored);
        }
    }
};

const Design &design(const std::vector<std::string> &genargs) {
    static DesignCache store;
    auto &cache = store.designs;
    auto it = cache.find(genargs);
    if (it != cache.end()) return it->second;
    char tmpl[] = "/tmp/partlist-bench-XXXXXX";
    Design d;
    d.dir = mkdtemp(tmpl);
    std::vector<std::string> args{GENDESIGN_PATH};
    args.insert(args.end(), genargs.begin(), genargs.end());
    args.push_back(d.dir);
    if (run(args).status != 0) {
        std::fprintf(stderr, "gendesign failed\n");
        std::exit(1);
    }
    DIR *dp = opendir(d.dir.c_str());
    while (struct dirent *e = readdir(dp)) {
        std::string name = e->d_name;
        if (name.size() > 4 && (name.ends_with(".sch") || name.ends_with(".sym"))) {
            struct stat st {};
            std::string path = d.dir + "/" + name;
            stat(path.c_str(), &st);
            d.bytes += static_cast<double>(st.st_size);
            d.files.push_back(path);
        }
    }
    closedir(dp);
    return cache.emplace(genargs, std::move(d)).first->second;
}

void report(benchmark::State &state, const Design &d, long maxrss_kb) {
    state.counters["input_MB"] = d.bytes / 1e6;
    state.counters["MB_per_s"] = benchmark::Counter(
        d.bytes * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    // Both in MB of 10^6 bytes, so the memory bar (4 x input + 32 MB) reads off directly.
    state.counters["peak_MB"] = static_cast<double>(maxrss_kb) * 1024.0 / 1e6;
    state.counters["bar_MB"] = 4.0 * d.bytes / 1e6 + 32.0;
}

// What a run writes in the design's folder: the report, and the export of the options below.
constexpr const char *OUTPUTS[] = {"top.out", "bom.csv", "bom.json"};

// `options` come before the run's own: the command's export (--csv FILE, --json FILE).
void partlist_run(benchmark::State &state, const std::vector<std::string> &genargs,
                  const std::vector<std::string> &options = {}) {
    const Design &d = design(genargs);
    std::vector<std::string> args{PARTLIST_PATH};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"-p", ".", "top.sch"});
    long maxrss = 0;
    for (auto _ : state) {
        // As a user runs it: in the design's folder, symbols found along ".", so the file key
        // of every sheet is its own file name.
        RunResult r = run(args, d.dir.c_str());
        if (r.status != 0) state.SkipWithError("partlist failed");
        // The kernel writes the report (and the export) to disk after the run has ended; left
        // to run into the next iteration, that work would be charged to it. So would freeing
        // the files when the next run replaces them, which on a file system mounted to discard
        // freed blocks at once (as the development machine's is) waits for the disk: tens of
        // milliseconds per hundred megabytes, more than the command's own work on them.
        state.PauseTiming();
        for (const char *out : OUTPUTS)
            ::unlink((d.dir + "/" + out).c_str());
        ::sync();
        state.ResumeTiming();
        maxrss = std::max(maxrss, r.maxrss_kb);
    }
    report(state, d, maxrss);
}

// The comparison of two revisions' exports (--compare OLD.json NEW.json), the changes to
// /dev/null. The new revision has other values throughout, so that most references move: the
// most work a comparison of two exports of this size can have.
void compare_run(benchmark::State &state, const std::vector<std::string> &genargs,
                 const std::vector<std::string> &revised) {
    const Design &old = design(genargs);
    const Design &now = design(revised);
    const std::string oldjson = old.dir + "/old.json";
    const std::string newjson = now.dir + "/new.json";
    if (run({PARTLIST_PATH, "--json", oldjson, "-p", ".", "top.sch"}, old.dir.c_str()).status !=
            0 ||
        run({PARTLIST_PATH, "--json", newjson, "-p", ".", "top.sch"}, now.dir.c_str()).status != 0)
        state.SkipWithError("partlist failed");
    long maxrss = 0;
    for (auto _ : state) {
        RunResult r = run({PARTLIST_PATH, "--compare", oldjson, newjson});
        if (r.status != 0) state.SkipWithError("partlist --compare failed");
        maxrss = std::max(maxrss, r.maxrss_kb);
    }
    state.counters["peak_MB"] = static_cast<double>(maxrss) * 1024.0 / 1e6;
}

void cat_run(benchmark::State &state, const std::vector<std::string> &genargs) {
    const Design &d = design(genargs);
    std::vector<std::string> args{"/bin/cat"};
    args.insert(args.end(), d.files.begin(), d.files.end());
    long maxrss = 0;
    for (auto _ : state)
        maxrss = std::max(maxrss, run(args).maxrss_kb);
    report(state, d, maxrss);
}

const std::vector<std::string> hier1k{"--sheets", "1000", "--parts", "200"};
const std::vector<std::string> hier2k{"--sheets", "2000", "--parts", "200"};
const std::vector<std::string> hier2kvalues{"--sheets", "2000",     "--parts",
                                            "200",      "--values", "199"};
const std::vector<std::string> drawn1k{"--sheets", "1000", "--parts", "200", "--drawing"};
// The shape of a parts-dense design: four levels of sheets (the top and three below), a quarter
// of them placed from two parents, 108 unwired parts a sheet with a value and a tolerance, 200
// part symbols and 20 values; the report is as large as the input.
std::vector<std::string> shared(const char *sheets) {
    return {"--sheets",   sheets, "--depth",  "3",  "--shared", "4", "--parts",  "108",
            "--distinct", "200",  "--values", "20", "--props",  "2", "--unwired"};
}
const std::vector<std::string> shared2k = shared("1999");
const std::vector<std::string> shared8k = shared("7999");
const std::vector<std::string> flat100k{"--sheets",   "0",   "--parts",  "100000",
                                        "--distinct", "100", "--values", "100"};

const std::vector<std::string> csv{"--csv", "bom.csv"};
const std::vector<std::string> json{"--json", "bom.json"};

// Every design: the run, `cat` of its files where the figures compare the run with it, then the
// run with each export.
void registerall() {
    const struct {
        const char *name;
        const std::vector<std::string> &genargs;
        bool cat;
    } designs[] = {{"hier_1000_sheets", hier1k, true},     {"drawn_1000_sheets", drawn1k, true},
                   {"hier_2000_sheets", hier2k, false},    {"flat_100k_parts", flat100k, false},
                   {"shared_2000_sheets", shared2k, true}, {"shared_8000_sheets", shared8k, true}};
    const auto add = [](const std::string &name, auto body) {
        benchmark::RegisterBenchmark(name.c_str(), body)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    };
    for (const auto &d : designs) {
        const std::vector<std::string> *genargs = &d.genargs;
        add(std::string("partlist_run/") + d.name,
            [genargs](benchmark::State &state) { partlist_run(state, *genargs); });
        if (d.cat)
            add(std::string("cat_run/") + d.name,
                [genargs](benchmark::State &state) { cat_run(state, *genargs); });
    }
    add("compare_run/hier_2000_sheets",
        [](benchmark::State &state) { compare_run(state, hier2k, hier2kvalues); });
    for (const auto &d : designs)
        for (const auto &[suffix, options] : {std::pair{"_csv", &csv}, std::pair{"_json", &json}})
            add(std::string("partlist_run/") + d.name + suffix,
                [genargs = &d.genargs, options](benchmark::State &state) {
                    partlist_run(state, *genargs, *options);
                });
}

} // namespace

int main(int argc, char **argv) {
    registerall();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
