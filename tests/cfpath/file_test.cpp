// The start-up file: a program's line in "cad.rc", its continuations and its words.
#include "pathenv.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using pathtest::PathEnv;
namespace fs = std::filesystem;
using Words = std::vector<std::string>;

class CReadRcTest : public PathEnv {
  protected:
    // The words of prog's line, or {"(none)"} when CReadRc finds none.
    Words rc(const char *prog) {
        int n = -1;
        char **v = nullptr;
        char *file = nullptr;
        int found = cf::CReadRc(prog, &n, &v, &file);
        used = file ? file : "(null)";
        Words w;
        if (!found) {
            EXPECT_EQ(n, 0);
            EXPECT_EQ(v, nullptr);
            return {"(none)"};
        }
        for (int i = 0; i < n; ++i) {
            w.push_back(v[i]);
            std::free(v[i]);
        }
        std::free(v);
        return w;
    }
    std::string used;
};

TEST_F(CReadRcTest, ContinuationJoinsLinesWithoutSeparator) {
    write("cad.rc", "partlist@\n -o x.out\n");
    EXPECT_EQ(rc("partlist"), (Words{"partlist", "-o", "x.out"}));
    EXPECT_EQ(used, "./cad.rc");
    write("cad.rc", "partlist@\n-o x.out\n");
    EXPECT_EQ(rc("partlist"), (Words{"partlist-o", "x.out"}));
    write("cad.rc", "partlist -a @\r\n-b@\r\n -c 'q @'\r\n");
    EXPECT_EQ(rc("partlist"), (Words{"partlist", "-a", "-b", "-c", "q @"}));
    // At the end of the file a continuation mark is simply dropped.
    write("cad.rc", "partlist -a@");
    EXPECT_EQ(rc("partlist"), (Words{"partlist", "-a"}));
}

TEST_F(CReadRcTest, OnlyTheProgramsOwnLineCounts) {
    write("cad.rc", "\n"
                    "   \n"
                    "Partlist -no\n"
                    "partlister -no\n"
                    "other -x @\n"
                    "partlist -continued-for-other\n"
                    "partlist -second\n");
    // The line continuing another program's line is still tested as a line of its own.
    EXPECT_EQ(rc("partlist"), (Words{"partlist", "-continued-for-other"}));
    EXPECT_EQ(rc("other"), (Words{"other", "-x", "partlist", "-continued-for-other"}));
    EXPECT_EQ(rc("nobody"), Words{"(none)"});
    EXPECT_EQ(used, "cad.rc");
    write("cad.rc", "other\npartlist@ -p 'a b'\n");
    EXPECT_EQ(rc("partlist"), (Words{"partlist@", "-p", "a b"}));
}

TEST_F(CReadRcTest, StartupPathIsSearchedInOrder) {
    suite("~=" + (root / "home").string() + "\n~p3=" + (root / "p3").string() + "\n");
    write(root / "home" / "cad.rc", "other -home\n");
    write(root / "p3" / "wcs" / "lib" / "cad.rc", "partlist -lib\n");
    EXPECT_EQ(rc("partlist"), (Words{"partlist", "-lib"}));
    EXPECT_EQ(used, (root / "p3" / "wcs" / "lib" / "cad.rc").string());
    EXPECT_EQ(rc("other"), (Words{"other", "-home"}));
    write("cad.rc", "partlist -here\n");
    EXPECT_EQ(rc("partlist"), (Words{"partlist", "-here"}));
}

TEST_F(CReadRcTest, OverlongLinesAreCutAndTheirRestIsNoLine) {
    std::string pad(3000, 'x');
    write("cad.rc", "other " + pad + " partlist -bad\n" + "partlist -a " + pad + "@\n" +
                        " -lost\n" + "partlist -never\n");
    Words w = rc("partlist");
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[1], "-a");
    EXPECT_EQ(w[2].size(), 2047u - std::strlen("partlist -a "));

    // A continued line stops growing at the buffer's end but still ends where the file says.
    std::string part(1500, 'y');
    write("cad.rc", "partlist " + part + "@\n " + part + "@\n -tail\nnext -x\n");
    w = rc("partlist");
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[1].size() + w[2].size() + std::strlen("partlist  "), 2047u);
    EXPECT_EQ(rc("next"), (Words{"next", "-x"}));
}

TEST_F(CReadRcTest, PathDebugTracesTheSearch) {
    write("cad.rc", "partlist -o x.out\n");
    capturelog();
    rc("partlist");
    std::string log = logtext();
    EXPECT_EQ(log.rfind("CReadRc: entered:fname = cad.rc, prog = partlist, path = (null)\n", 0), 0u)
        << log;
    EXPECT_NE(log.find("PathOpen: trying: \"./cad.rc\"\n"), std::string::npos) << log;
    EXPECT_NE(log.find("CReadRc: found line \"partlist -o x.out\" in ./cad.rc\n"),
              std::string::npos)
        << log;
}

TEST_F(CReadRcTest, LongStartupFileNameFindsNothing) {
    std::string name(40, 'r');
    write(name, "partlist -x\n");
    int n = -1;
    char **v = nullptr;
    char *file = nullptr;
    EXPECT_EQ(cf::ReadRcFile(name.c_str(), "partlist", &n, &v, &file), 0);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(std::strlen(file), 31u);
    std::string fits(31, 'r');
    write(fits, "partlist -x\n");
    EXPECT_EQ(cf::ReadRcFile(fits.c_str(), "partlist", &n, &v, &file), 1);
    EXPECT_EQ(n, 2);
    for (int i = 0; i < n; ++i)
        std::free(v[i]);
    std::free(v);
}

} // namespace
