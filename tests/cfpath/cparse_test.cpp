// The table-driven option parser and the start-up options applied before the command line.
#include "pathenv.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using pathtest::PathEnv;

// An argument vector that outlives the parse, as a command line does.
struct Argv {
    explicit Argv(std::vector<std::string> args) : words(std::move(args)) {
        for (std::string &w : words)
            ptrs.push_back(w.data());
        ptrs.push_back(nullptr);
        argc = static_cast<int>(words.size());
        argv = ptrs.data();
    }
    std::vector<std::string> words;
    std::vector<char *> ptrs;
    int argc;
    char **argv;
};

struct Vars {
    const char *report = nullptr;
    int oflag = 0, debug = 0, lflag = 0, len = -1;
    int a = 0, b = 7, t = 0;
    unsigned hex = 0;
    int oct = 0;
    float fl = 0;
    char ch = 0;
};

std::string called;
const char *parfunc(const char *v) {
    called += std::string("par=") + v + ";";
    return nullptr;
}
const char *pfunc(const char *v) {
    called += std::string("p=") + v + ";";
    return std::strcmp(v, "bad") == 0 ? "-p path too long" : nullptr;
}
const char *nfunc(const char *v) {
    called += std::string("n=") + v + ";";
    return nullptr;
}

std::vector<cf::OptionEntry> table(Vars &v) {
    return {
        {"-o%s", &v.oflag, 1, &v.report, nullptr}, {"-debug", &v.debug, 2, nullptr, nullptr},
        {"-l%d", &v.lflag, 1, &v.len, nullptr},    {"-par %(s)", nullptr, 0, nullptr, parfunc},
        {"-p %(s)", nullptr, 0, nullptr, pfunc},   {"-n%(d)", nullptr, 0, nullptr, nfunc},
        {"-a", &v.a, 2, nullptr, nullptr},         {"-b!", &v.b, 2, nullptr, nullptr},
        {"-t^", &v.t, 2, nullptr, nullptr},        {"-x %x", nullptr, 1, &v.hex, nullptr},
        {"-q%o", nullptr, 1, &v.oct, nullptr},     {"-f%f", nullptr, 1, &v.fl, nullptr},
        {"-c%c", nullptr, 1, &v.ch, nullptr},      {"+a", &v.b, 2, nullptr, nullptr},
    };
}

const char *parse(Vars &v, Argv &a) {
    std::vector<cf::OptionEntry> t = table(v);
    return cf::get_args(t.data(), static_cast<int>(t.size()), &a.argc, &a.argv);
}

TEST(GetArgsTest, ValuesJoinedOrSeparateAndTheRestLeftOver) {
    for (auto args :
         {std::vector<std::string>{"partlist", "-oreport.out", "-debug", "top.sch"},
          std::vector<std::string>{"partlist", "-o", "report.out", "-debug", "top.sch", "-a"}}) {
        Vars v;
        Argv a(args);
        EXPECT_EQ(parse(v, a), nullptr);
        EXPECT_STREQ(v.report, "report.out");
        EXPECT_EQ(v.oflag, 1);
        EXPECT_EQ(v.debug, 1);
        EXPECT_EQ(a.argc, static_cast<int>(args.size()) - (args.size() == 4 ? 3 : 4));
        EXPECT_STREQ(a.argv[0], "top.sch");
        EXPECT_EQ(v.a, 0);
    }
    Vars v;
    Argv only({"partlist"});
    EXPECT_EQ(parse(v, only), nullptr);
    EXPECT_EQ(only.argc, 0);
}

TEST(GetArgsTest, FlagsAreSetClearedOrToggledAndMayShareAnArgument) {
    Vars v;
    Argv a({"partlist", "-abt", "-t", "-t", "+a", "-ax1F"});
    EXPECT_EQ(parse(v, a), nullptr);
    EXPECT_EQ(v.a, 1);
    EXPECT_EQ(v.b, 1); // "-b!" cleared it, "+a" set it again
    EXPECT_EQ(v.t, 1);
    EXPECT_EQ(v.hex, 0x1Fu);
    EXPECT_EQ(a.argc, 0);
}

TEST(GetArgsTest, ErrorsStopTheParseWithTheirText) {
    Vars v;
    Argv bad({"partlist", "-debug", "-labc", "-a"});
    EXPECT_STREQ(parse(v, bad), "Bad conversion of decimal (%d) argument following -l option");
    EXPECT_EQ(v.debug, 1);
    EXPECT_EQ(v.lflag, 1); // the flag is set before the value is looked at
    EXPECT_EQ(v.a, 0);

    Vars w;
    Argv plus({"partlist", "+debug"});
    EXPECT_STREQ(parse(w, plus), "Unrecognized option: +debug");
    Argv lone({"partlist", "-"});
    EXPECT_STREQ(parse(w, lone), "Unrecognized option: -");
    Argv unknown({"partlist", "-az"});
    EXPECT_STREQ(parse(w, unknown), "Unrecognized option: -z");
    Argv missing({"partlist", "-a", "-o"});
    EXPECT_STREQ(parse(w, missing), "Missing argument to -o");
    // Argument text reaches the message as text, never as a format.
    Argv fmt({"partlist", "-%s%n%s"});
    EXPECT_STREQ(parse(w, fmt), "Unrecognized option: -%s%n%s");
}

TEST(GetArgsTest, LongerNamesMustStandFirst) {
    called.clear();
    Vars v;
    Argv a({"partlist", "-par", "x", "-p", "y", "-pbad"});
    EXPECT_STREQ(parse(v, a), "-p path too long");
    EXPECT_EQ(called, "par=x;p=y;p=bad;");

    // With "-p" first, "-par x" is "-p" with the value "ar".
    called.clear();
    std::vector<cf::OptionEntry> t = table(v);
    std::swap(t[3], t[4]);
    Argv b({"partlist", "-par", "x"});
    EXPECT_EQ(cf::get_args(t.data(), static_cast<int>(t.size()), &b.argc, &b.argv), nullptr);
    EXPECT_EQ(called, "p=ar;");
    EXPECT_STREQ(b.argv[0], "x");
}

TEST(GetArgsTest, NumbersConvertByTheirScanType) {
    Vars v;
    Argv a({"partlist", "-q17", "-f", "2.5", "-cZ", "-l-12"});
    EXPECT_EQ(parse(v, a), nullptr);
    EXPECT_EQ(v.oct, 017);
    EXPECT_FLOAT_EQ(v.fl, 2.5f);
    EXPECT_EQ(v.ch, 'Z');
    EXPECT_EQ(v.len, -12);

    // A function with a numeric type is called only for a value that converts.
    called.clear();
    Argv n({"partlist", "-n42", "-nx"});
    EXPECT_STREQ(parse(v, n), "Bad conversion of decimal (%d) argument following -n option");
    EXPECT_EQ(called, "n=42;");
}

TEST(GetArgsTest, NamesAndConversionMessages) {
    EXPECT_STREQ(cf::optname("-Q %s"), "-Q");
    EXPECT_STREQ(cf::optname("-xxnobrackets"), "-xxnobrackets");
    EXPECT_STREQ(cf::optname("+v!"), "+v");
    std::string longpat = "-" + std::string(150, 'z');
    EXPECT_EQ(std::strlen(cf::optname(longpat.c_str())), 100u);
    EXPECT_STREQ(cf::badconv("-c%c", "%c"),
                 "Bad conversion of character (%c) argument following -c option");
    EXPECT_STREQ(cf::badconv("-f%f", "%f"),
                 "Bad conversion of floating (%f) argument following -f option");
    EXPECT_STREQ(cf::badconv("-q%o", "%o"),
                 "Bad conversion of octal (%o) argument following -q option");
    EXPECT_STREQ(cf::badconv("-x %x", "%x"),
                 "Bad conversion of hexadecimal (%x) argument following -x option");
    EXPECT_STREQ(cf::badconv("-g%g", "%g"),
                 "Bad conversion of unrecognized type (%g) argument following -g option");
}

class ReadRcOptsTest : public PathEnv {
  protected:
    void SetUp() override {
        PathEnv::SetUp();
        capturelog(false);
    }
    const char *run(Vars &v, Argv &a, const char *prog = "/usr/bin/partlist") {
        t = table(v);
        return cf::readrcopts(prog, &a.argc, &a.argv, t.data(), static_cast<int>(t.size()));
    }
    std::vector<cf::OptionEntry> t;
};

TEST_F(ReadRcOptsTest, StartupOptionsComeFirstAndOutliveTheirVector) {
    write("cad.rc", "partlist -debug -orc.out -l 3\n");
    Vars v;
    Argv a({"partlist", "-l4", "top.sch"});
    EXPECT_EQ(run(v, a), nullptr);
    EXPECT_EQ(logtext(), "partlist: Using options from cad.rc\n");
    EXPECT_EQ(v.debug, 1);
    EXPECT_EQ(v.len, 4);
    EXPECT_STREQ(a.argv[0], "top.sch");
    // The start-up vector is gone; the value taken from it is not.
    EXPECT_STREQ(v.report, "rc.out");

    Argv cli({"partlist", "-o", "cli.out", "top.sch"});
    EXPECT_EQ(run(v, cli), nullptr);
    EXPECT_STREQ(v.report, "cli.out");
}

TEST_F(ReadRcOptsTest, StartupLineEndingInAValueOptionLeavesItEmpty) {
    write("cad.rc", "partlist -debug -o\n");
    Vars v;
    Argv a({"partlist", "-a", "top.sch"});
    // The message stops the parse: the command line is not applied.
    EXPECT_STREQ(run(v, a), "Missing argument to -o");
    EXPECT_EQ(v.oflag, 1);
    EXPECT_STREQ(v.report, "");
    EXPECT_EQ(v.debug, 1);
    EXPECT_EQ(v.a, 0);
}

TEST_F(ReadRcOptsTest, StartupErrorsStopBeforeTheCommandLine) {
    Vars v;
    write("cad.rc", "partlist -debug stray -a\n");
    Argv a({"partlist", "-a", "top.sch"});
    EXPECT_STREQ(run(v, a), "Unrecognized arguments in cad.rc file");
    EXPECT_EQ(v.debug, 1);
    EXPECT_EQ(v.a, 0);

    write("cad.rc", "partlist -orc.out -lx\n");
    Argv b({"partlist", "-a", "top.sch"});
    EXPECT_STREQ(run(v, b), "Bad conversion of decimal (%d) argument following -l option");
    EXPECT_STREQ(v.report, "rc.out");
    EXPECT_EQ(v.a, 0);
}

TEST_F(ReadRcOptsTest, NoStartupLineMeansTheCommandLineAlone) {
    write("cad.rc", "other -a\n");
    Vars v;
    Argv a({"partlist", "-a"});
    EXPECT_EQ(run(v, a, "partlist"), nullptr);
    EXPECT_EQ(v.a, 1);
    Argv b({"partlist", "-a"});
    EXPECT_EQ(run(v, b, "dir/"), nullptr);
    EXPECT_EQ(logtext(), "");
}

} // namespace
