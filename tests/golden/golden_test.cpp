// golden_test.cpp - end-to-end cases: a design, one or more command lines, and the exact report
// and log they must produce.
//
// A case is a folder under tests/data/golden/. It holds the design files, a file `runs` with
// one run per line (the arguments after the program name, split at blanks; a line may begin
// with "--proplen N" and "--map FILE" to set what the host sets before the run; the property
// width is 40 otherwise, as with the partlist command), and a folder
// `expected/` whose every file must be produced byte for byte under the same name. The file
// `expected/status` (if present) holds the status of each run, one per line. All runs of a
// case share one process, as they would in a host, in a fresh copy of the case folder.
//
// With GOLDEN_BLESS=1 in the environment a case writes what it produced (every .out and .log
// file and the statuses) into its expected/ folder instead of comparing: for a new case, whose
// output must then be read line by line before it is committed.
#include "partlist.h"
#include "partlist_export.h"
#include "support/runsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const fs::path golden_root = fs::path(PARTLIST_TEST_DATA) / "golden";

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<std::string> split(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// Runs one line of `runs`; returns the status of the run.
int run_line(const std::string &line) {
    std::vector<std::string> words = split(line);
    partlist::SetPropertyLength("40"); // the partlist command's default
    std::size_t i = 0;
    for (; i + 1 < words.size(); i += 2) {
        if (words[i] == "--proplen")
            partlist::SetPropertyLength(words[i + 1].c_str());
        else if (words[i] == "--map")
            partlist::initializeMap(words[i + 1].c_str());
        else
            break;
    }
    const int status = testsupport::runpartlist(
        std::vector<std::string>(words.begin() + static_cast<std::ptrdiff_t>(i), words.end()));
    // What the command writes after a run that collected its export.
    if (partlist::exportcomplete()) {
        char *text = nullptr;
        std::size_t size = 0;
        FILE *f = open_memstream(&text, &size);
        EXPECT_TRUE(partlist::writecsv(f) && partlist::writejson(f));
        std::fclose(f);
        std::free(text);
    }
    return status;
}

class Golden : public ::testing::TestWithParam<std::string> {
  protected:
    void TearDown() override { unsetenv("PARTLIST_THREADS"); }
    void runcase();
};

TEST_P(Golden, ReportAndLogMatch) {
    runcase();
}

// A run without helper threads writes the same files, the failing runs among them.
TEST_P(Golden, ReportAndLogMatchWithoutHelperThreads) {
    setenv("PARTLIST_THREADS", "0", 1);
    runcase();
}

// Collecting the export beside the run (what --csv and --json ask for) changes neither file.
TEST_P(Golden, ReportAndLogMatchWhileExporting) {
    partlist::setexport(partlist::EXPORT_GROUPS | partlist::EXPORT_MISSING);
    runcase();
}

void Golden::runcase() {
    const fs::path source = golden_root / GetParam();
    const fs::path work = fs::temp_directory_path() /
                          ("partlist-golden-" + GetParam() + "-" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    for (const auto &entry : fs::directory_iterator(source))
        if (entry.path().filename() != "expected")
            fs::copy(entry.path(), work / entry.path().filename(), fs::copy_options::recursive);
    const fs::path old_cwd = fs::current_path();
    fs::current_path(work);

    std::ifstream runs(work / "runs");
    std::string line, statuses;
    while (std::getline(runs, line))
        if (!line.empty()) statuses += std::to_string(run_line(line)) + "\n";
    fs::current_path(old_cwd);

    if (const char *bless = std::getenv("GOLDEN_BLESS"); bless && std::string(bless) == "1") {
        fs::create_directories(source / "expected");
        for (const auto &entry : fs::directory_iterator(work)) {
            const auto ext = entry.path().extension();
            if (ext == ".out" || ext == ".log")
                fs::copy_file(entry.path(), source / "expected" / entry.path().filename(),
                              fs::copy_options::overwrite_existing);
        }
        std::ofstream(source / "expected" / "status") << statuses;
        fs::remove_all(work);
        return;
    }
    for (const auto &entry : fs::directory_iterator(source / "expected")) {
        const std::string name = entry.path().filename();
        const std::string want = slurp(entry.path());
        if (name == "status") {
            EXPECT_EQ(statuses, want) << "statuses of the runs";
            continue;
        }
        ASSERT_TRUE(fs::exists(work / name)) << name << " was not written";
        EXPECT_EQ(slurp(work / name), want) << name << " differs; produced in " << work;
    }
    if (!HasFailure()) fs::remove_all(work);
}

std::vector<std::string> cases() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(golden_root))
        if (fs::exists(entry.path() / "runs")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(cases()),
                         [](const auto &info) { return info.param; });

} // namespace
