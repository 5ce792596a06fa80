// Search-path strings, tilde expansion, the initialisation file and PathOpen's candidates.
#include "pathenv.h"

#include "cfstring.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using pathtest::PathEnv;
namespace fs = std::filesystem;

struct Freer {
    void operator()(char *p) const { std::free(p); }
};
using Heap = std::unique_ptr<char, Freer>;

std::string setpath(const char *start, const char *text) {
    char *list = start ? cf::stralloc(start) : nullptr;
    cf::SetPath(text, &list);
    std::string s = list ? list : "(absent)";
    std::free(list);
    return s;
}

class CpathTest : public PathEnv {};

TEST_F(CpathTest, PathStringAppendsPrependsOrReplaces) {
    EXPECT_EQ(setpath("a+b", "+c"), "a+b+c");
    EXPECT_EQ(setpath("a+b", "c+"), "c+a+b");
    EXPECT_EQ(setpath("a+b", "c"), "c");
    EXPECT_EQ(setpath("a+b", ""), ".");
    EXPECT_EQ(setpath(nullptr, "a++b"), "a+.+b");
    EXPECT_EQ(setpath(nullptr, "a+++b+"), "a+.+b");
    EXPECT_EQ(setpath("a", "+b++"), "a+b+.");
    // Every extra trailing "+" is one more prepend step of the same text.
    EXPECT_EQ(setpath("a+b", "c+++"), "c+a+b");
    EXPECT_EQ(setpath("a+b", nullptr), "a+b");
}

TEST_F(CpathTest, ListNeverHoldsAnElementTwice) {
    EXPECT_EQ(setpath(nullptr, "a+b+a+B"), "a+b+B");
    EXPECT_EQ(setpath("a+b", "+b"), "a+b");
    EXPECT_EQ(setpath("a+b", "b+c+"), "b+c+a");
    EXPECT_EQ(setpath(nullptr, "x++y++z"), "x+.+y+z");
}

TEST_F(CpathTest, ThousandElementsAreAllKept) {
    std::string text, expect;
    for (int i = 0; i < 1000; ++i) {
        std::string e = "dir" + std::to_string(i);
        text += e + "+" + e + "+";
        expect += (i ? "+" : "") + e;
    }
    text.pop_back();
    EXPECT_EQ(setpath(nullptr, text.c_str()), expect);
}

TEST_F(CpathTest, DefaultsAreExtendedOrReplaced) {
    suite("~=/u/home\n~p3=/opt/van3\n");
    const std::string pdef = ".+/u/home+/opt/van3\\library\\default";
    EXPECT_STREQ(cf::PGetPath(), pdef.c_str());
    EXPECT_STREQ(cf::KGetPath(), ".+/u/home+/opt/van3\\wcs\\lib");

    EXPECT_EQ(cf::PSetPath("+c:\\mylib"), cf::PATH_OK);
    EXPECT_EQ(cf::PGetPath(), pdef + "+c:\\mylib");
    cf::FreePaths();
    EXPECT_EQ(cf::PSetPath("c:\\mylib+"), cf::PATH_OK);
    EXPECT_EQ(cf::PGetPath(), "c:\\mylib+" + pdef);
    cf::FreePaths();
    EXPECT_EQ(cf::PSetPath("c:\\mylib"), cf::PATH_OK);
    EXPECT_STREQ(cf::PGetPath(), "c:\\mylib");
    // The second path is a list of its own.
    EXPECT_EQ(cf::KSetPath("+k"), cf::PATH_OK);
    EXPECT_STREQ(cf::KGetPath(), ".+/u/home+/opt/van3\\wcs\\lib+k");
    EXPECT_STREQ(cf::PGetPath(), "c:\\mylib");
}

TEST_F(CpathTest, OverlongElementIsLeftOutWithStatusTooLong) {
    std::string longdir(600, 'd');
    std::string text = "a+" + longdir + "+b";
    EXPECT_EQ(cf::PSetPath(text.c_str()), cf::PATH_TOOLONG);
    EXPECT_STREQ(cf::PGetPath(), "a+b");
    std::string fits(599, 'd');
    EXPECT_EQ(cf::PSetPath(("+" + fits).c_str()), cf::PATH_OK);
    EXPECT_EQ(cf::PGetPath(), "a+b+" + fits);
    // An expansion that grows past the limit is refused the same way.
    suite("~big=" + std::string(250, 'x') + "\n");
    std::string grown = "~big/" + std::string(400, 'y');
    EXPECT_EQ(cf::PSetPath(grown.c_str()), cf::PATH_TOOLONG);
    EXPECT_STREQ(cf::PGetPath(), "");
}

TEST_F(CpathTest, TildeElementsExpandThroughTheInitialisationFile) {
    suite("~=/u/home/\n~P3=/opt/van3\n~lib=d:\\libs\n");
    EXPECT_EQ(setpath(nullptr, "~+~p3\\wcs+c:~lib\\x+~p3.old"),
              "/u/home/+/opt/van3\\wcs+c:d:\\libs\\x+/opt/van3.old");

    auto exp = [](const char *t) { return std::string(Heap(cf::exptilde(t)).get()); };
    // One separator where the directory ends with one and the rest begins with one.
    EXPECT_EQ(exp("~/bak"), "/u/home/bak");
    EXPECT_EQ(exp("~\\bak"), "/u/home/bak");
    EXPECT_EQ(exp("~p3/bak"), "/opt/van3/bak");
    EXPECT_EQ(exp("plain/~x"), "plain/~x");
    EXPECT_EQ(cf::exptilde(nullptr), nullptr);
    // Names the file does not know, and a suite without "~", fall back to the literal default.
    EXPECT_EQ(exp("~nobody\\lib"), "c:/korbelt\\lib");
    cf::FreePaths();
    suite("~p3=/opt/van3\n");
    EXPECT_EQ(exp("~"), "c:/korbelt");
}

TEST_F(CpathTest, PathDebugTracesListChangesAndExpansions) {
    suite("~=/h\n~P3=/p3\n");
    capturelog();
    cf::PSetPath("~p3+");
    Heap(cf::exptilde("~p3"));
    EXPECT_EQ(logtext(), "PSetPath: string is ~p3+\n"
                         "SetPath: .+~+~p3\\library\\default\n"
                         "exptilde: found ~, dir = /h, input = \n"
                         "exptilde: tuid = ~P3, input = \\library\\default\n"
                         "SetPath: ~p3+\n"
                         "SetPath: ~p3\n"
                         "exptilde: tuid = ~P3, input = \n"
                         "Tilde cache hit: ~P3=/p3\n"
                         "exptilde: tuid = ~P3, input = \n"
                         "Tilde cache hit: ~P3=/p3\n");
}

TEST_F(CpathTest, NamedTildeCacheHoldsNineteenEntries) {
    std::string entries;
    for (int i = 1; i <= 20; ++i)
        entries += "~u" + std::to_string(i) + "=/old" + std::to_string(i) + "\n";
    suite(entries);
    for (int i = 1; i <= 20; ++i) {
        std::string t = "~u" + std::to_string(i) + "/x";
        EXPECT_EQ(Heap(cf::exptilde(t.c_str())).get(), "/old" + std::to_string(i) + "/x");
    }
    // Later changes to the file are seen only by the entry that was not cached.
    suite("~u1=/new1\n~u19=/new19\n~u20=/new20\n");
    EXPECT_STREQ(Heap(cf::exptilde("~u1")).get(), "/old1");
    EXPECT_STREQ(Heap(cf::exptilde("~u19")).get(), "/old19");
    EXPECT_STREQ(Heap(cf::exptilde("~u20")).get(), "/new20");
    cf::FreePaths();
    EXPECT_STREQ(Heap(cf::exptilde("~u1")).get(), "/new1");
}

TEST_F(CpathTest, InitialisationFileIsFoundThroughTheRegistry) {
    suite("~=/h\n", root / "vhome");
    EXPECT_EQ(cf::GetIniFile(), (root / "vhome" / "van87.ini").string());

    // No registry entry: the bare name, looked for in the configuration directory.
    fs::remove(root / "registry.ini");
    EXPECT_STREQ(cf::GetIniFile(), "van87.ini");
    write(root / "config" / "morvek" / "van87.ini", "[Vantrell]\n~=/from/xdg\n");
    EXPECT_STREQ(Heap(cf::exptilde("~")).get(), "/from/xdg");

    // A home directory that does not fit is no home directory, never a cut one.
    std::string longhome(250, 'h');
    write(root / "registry.ini",
          "[Software\\Morvek\\Vantrell\\8.7\\Directories]\nHome Dir=" + longhome + "\n");
    EXPECT_STREQ(cf::GetIniFile(), "van87.ini");
    char buf[8];
    EXPECT_STREQ(cf::GetHomeDir(buf, sizeof buf), "");
    longhome.resize(249);
    write(root / "registry.ini",
          "[Software\\Morvek\\Vantrell\\8.7\\Directories]\nHome Dir=" + longhome + "\n");
    EXPECT_EQ(cf::GetIniFile(), longhome + "/van87.ini");
}

TEST_F(CpathTest, PathOpenTriesEachElementInOrder) {
    write(root / "b" / "sub" / "amp.sch", "b");
    write(root / "c" / "sub" / "amp.sch", "c");
    std::string list =
        (root / "a").string() + "+" + (root / "b").string() + "\\+" + (root / "c").string();
    capturelog();
    char *tried = nullptr;
    FILE *fp = cf::PathOpen("sub\\amp", "r", ".sch", &tried, list.c_str());
    ASSERT_NE(fp, nullptr);
    EXPECT_EQ(std::fgetc(fp), 'b');
    std::fclose(fp);
    EXPECT_EQ(tried, (root / "b" / "sub" / "amp.sch").string());
    EXPECT_EQ(logtext(), "PathOpen: trying: \"" + (root / "a/sub/amp.sch").string() + "\"\n" +
                             "PathOpen: trying: \"" + (root / "b/sub/amp.sch").string() + "\"\n");

    // Not found: the buffer keeps the last candidate; a name with an extension keeps it.
    EXPECT_EQ(cf::PathOpen("sub/amp.x", "r", ".sch", &tried, list.c_str()), nullptr);
    EXPECT_EQ(tried, (root / "c" / "sub" / "amp.x").string());
    EXPECT_EQ(cf::PathOpen("amp", "r", ".sch", &tried, ""), nullptr);
    EXPECT_EQ(cf::PathOpen("", "r", ".sch", &tried, list.c_str()), nullptr);
}

TEST_F(CpathTest, PathOpenOpensAnchoredNamesWithoutSearch) {
    write(root / "amp.sch", "up");
    write(root / "work" / "sub" / "amp.sch", "here");
    write(root / "lib" / "amp.sch", "lib");
    write(root / "lib" / "sub" / "amp.sch", "lib");
    std::string list = (root / "lib").string();
    char *tried = nullptr;
    for (const char *name : {"..\\amp", "./sub/amp"}) {
        FILE *fp = cf::PathOpen(name, "r", ".sch", &tried, list.c_str());
        ASSERT_NE(fp, nullptr) << name;
        EXPECT_NE(std::fgetc(fp), 'l') << name;
        std::fclose(fp);
    }
    std::string abs = (root / "missing" / "amp").string();
    EXPECT_EQ(cf::PathOpen(abs.c_str(), "r", ".sch", &tried, list.c_str()), nullptr);
    EXPECT_EQ(tried, abs + ".sch");
    EXPECT_EQ(cf::PathOpen("c:amp", "r", ".sch", &tried, list.c_str()), nullptr);
    EXPECT_STREQ(tried, "c:amp.sch");

    suite("~=" + root.string() + "\n");
    FILE *fp = cf::PathOpen("~\\amp", "r", ".sch", &tried, list.c_str());
    ASSERT_NE(fp, nullptr);
    std::fclose(fp);
    EXPECT_EQ(tried, (root / "amp.sch").string());
}

TEST_F(CpathTest, PathOpenTriesLibraryDirectoriesFirst) {
    write(root / "user" / "part.sym", "user");
    write(root / "lib" / "$VANUSER" / "other.sym", "lib");
    cf::SetLibDirs((root / "user").c_str(), (root / "dev").c_str());
    char *tried = nullptr;
    FILE *fp = cf::PathOpen("$vanuser\\part", "r", ".sym", &tried, "");
    ASSERT_NE(fp, nullptr);
    std::fclose(fp);
    EXPECT_EQ(tried, (root / "user" / "part.sym").string());
    // Not in the directory: the search goes on along the list.
    fp = cf::PathOpen("$VANUSER/other", "r", ".sym", &tried, (root / "lib").c_str());
    ASSERT_NE(fp, nullptr);
    std::fclose(fp);
    EXPECT_EQ(tried, (root / "lib" / "$VANUSER" / "other.sym").string());
    EXPECT_EQ(cf::PathOpen("$CSDEVLIB/x", "r", ".sym", &tried, ""), nullptr);
}

TEST_F(CpathTest, PathOpenRefusesNamesBeyondTheBuffer) {
    std::string dir(595, 'd');
    char *tried = nullptr;
    EXPECT_EQ(cf::PathOpen("amp", "r", ".sch", &tried, dir.c_str()), nullptr);
    EXPECT_EQ(std::strlen(tried), 599u);
    std::string name(700, 'n');
    EXPECT_EQ(cf::PathOpen(name.c_str(), "r", ".sch", &tried, "."), nullptr);
    EXPECT_EQ(std::strlen(tried), 599u);
    suite("~=/" + std::string(255, 'h') + "\n");
    std::string deep = "~/" + std::string(400, 'x');
    EXPECT_EQ(cf::PathOpen(deep.c_str(), "r", "", &tried, "."), nullptr);
    EXPECT_EQ(std::strlen(tried), 599u);
}

TEST_F(CpathTest, FileNameHelpers) {
    EXPECT_STREQ(cf::lastsep("a\\b/c"), "/c");
    EXPECT_STREQ(cf::lastsep("a/b\\c"), "\\c");
    EXPECT_EQ(cf::lastsep("abc"), nullptr);
    EXPECT_STREQ(cf::filepart("dir.old\\top.sch"), "top.sch");
    EXPECT_STREQ(cf::filepart("top"), "top");
    EXPECT_EQ(cf::filepart(static_cast<const char *>(nullptr)), nullptr);
    EXPECT_STREQ(cf::hasext("a.b/c.d.sch"), ".sch");
    EXPECT_EQ(cf::hasext("dir.old\\top"), nullptr);

    char a[] = "a.b\\c", b[] = "amp.sch", c[] = "amp.sch", d[] = "x.dsn";
    EXPECT_STREQ(cf::stripext(a, nullptr), "a.b\\c");
    EXPECT_STREQ(cf::stripext(b, ".SCH"), "amp.sch");
    EXPECT_STREQ(cf::stripext(c, ".sch"), "amp");
    EXPECT_STREQ(cf::stripext(d, ""), "x");
}

std::vector<std::string> split(const char *text) {
    int n = -1;
    char **v = nullptr;
    cf::splitwords(text, &n, &v);
    std::vector<std::string> words;
    for (int i = 0; i < n; ++i) {
        words.push_back(v[i]);
        std::free(v[i]);
    }
    if (v) {
        EXPECT_EQ(v[n], nullptr);
    }
    std::free(v);
    return words;
}

TEST_F(CpathTest, WordsSplitAtWhiteSpaceOutsideQuotes) {
    using W = std::vector<std::string>;
    EXPECT_EQ(split(" partlist\t-o 'my report.out'\r\n-f\"d c\"i "),
              (W{"partlist", "-o", "my report.out", "-fd ci"}));
    EXPECT_EQ(split("a\"b'c\"d 'x\"y' \"\""), (W{"ab'cd", "x\"y", ""}));
    EXPECT_EQ(split("open 'runs to the end"), (W{"open", "runs to the end"}));
    EXPECT_EQ(split(" \t\v\f "), W{});
    EXPECT_EQ(split(nullptr), W{});
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "w ";
    EXPECT_EQ(split(many.c_str()).size(), 5000u);
}

} // namespace
