// Initialisation-file lookups and the per-user registry file.
#include "platform/profile.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = testsupport::makedir("/tmp/profile_test.XXXXXX");
        ASSERT_FALSE(dir.empty());
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        unsetenv("VANTRELL_REGISTRY");
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const fs::path &name, const std::string &text) {
        testsupport::writefile(name, text);
        return name.string();
    }

    std::string get(const char *section, const char *key, const std::string &file,
                    const char *def = "dflt", std::size_t size = 260) {
        char buf[260];
        std::size_t n =
            platform::GetPrivateProfileString(section, key, def, buf, size, file.c_str());
        EXPECT_EQ(n, std::strlen(buf));
        return buf;
    }

    fs::path dir;
};

TEST_F(ProfileTest, SectionsAndKeysMatchWithoutCaseAndValuesAreTrimmed) {
    std::string ini = write(dir / "van87.ini", "; the suite's settings\r\n"
                                               "[ Vantrell ]\r\n"
                                               "  ~p3 =  /opt/van 3  \r\n"
                                               "Quoted=\"  spaced  \"\r\n"
                                               "single='x'\r\n"
                                               "half=\"x\r\n"
                                               "[MHENV]\r\n"
                                               "CSDEVLIB=/opt/dev\r\n");
    EXPECT_EQ(get("VANTRELL", "~P3", ini), "/opt/van 3");
    EXPECT_EQ(get("vantrell", "quoted", ini), "  spaced  ");
    EXPECT_EQ(get("Vantrell", "single", ini), "x");
    EXPECT_EQ(get("Vantrell", "half", ini), "\"x");
    EXPECT_EQ(get("mhenv", "csdevlib", ini), "/opt/dev");
    // A key of another section is not found.
    EXPECT_EQ(get("MHENV", "~p3", ini), "dflt");
}

TEST_F(ProfileTest, FirstSectionAndFirstKeyWin) {
    std::string ini = write(dir / "dup.ini", "key=outside\n"
                                             "[A]\n"
                                             "key=first\n"
                                             "KEY=second\n"
                                             "[B]\n"
                                             "other=b\n"
                                             "[a]\n"
                                             "key=third\n"
                                             "late=x\n");
    EXPECT_EQ(get("A", "key", ini), "first");
    // Only the first section of a name is searched.
    EXPECT_EQ(get("A", "late", ini), "dflt");
    EXPECT_EQ(get("B", "other", ini), "b");
}

TEST_F(ProfileTest, MissingEntriesGiveTheDefault) {
    std::string ini = write(dir / "a.ini", "[A]\nkey=value\nempty=\n");
    EXPECT_EQ(get("A", "nokey", ini, "def  "), "def");
    EXPECT_EQ(get("Z", "key", ini), "dflt");
    EXPECT_EQ(get("A", "key", (dir / "missing.ini").string()), "dflt");
    EXPECT_EQ(get("A", "key", ini, nullptr, 260), "value");
    EXPECT_EQ(get("A", "nokey", ini, nullptr), "");
    // A present but empty value is the value, not the default.
    EXPECT_EQ(get("A", "empty", ini), "");
    EXPECT_EQ(get(nullptr, "key", ini), "dflt");
    EXPECT_EQ(get("A", nullptr, ini), "dflt");
}

TEST_F(ProfileTest, ValueIsCutToTheBuffer) {
    std::string ini = write(dir / "a.ini", "[A]\nkey=abcdef\n");
    EXPECT_EQ(get("A", "key", ini, "", 4), "abc");
    EXPECT_EQ(get("A", "nokey", ini, "wxyz", 3), "wx");
    char buf[4] = "zzz";
    EXPECT_EQ(platform::GetPrivateProfileString("A", "key", "", buf, 0, ini.c_str()), 0u);
    EXPECT_STREQ(buf, "zzz");
}

TEST_F(ProfileTest, LongLinesAreReadWhole) {
    std::string value(5000, 'v');
    std::string ini = write(dir / "long.ini", "[A]\nkey=" + value + "\nnext=1\n");
    std::string got;
    ASSERT_TRUE(platform::ReadProfileEntry(ini.c_str(), "A", "key", got));
    EXPECT_EQ(got, value);
    EXPECT_EQ(get("A", "next", ini), "1");
}

TEST_F(ProfileTest, BareNameIsLookedForInTheConfigurationDirectory) {
    write(dir / "config" / "morvek" / "van87.ini", "[VANTRELL]\n~=/home/x\n");
    EXPECT_EQ(platform::ConfigDir(), (dir / "config" / "morvek").string());
    EXPECT_EQ(get("VANTRELL", "~", "van87.ini"), "/home/x");

    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", dir.c_str(), 1);
    EXPECT_EQ(platform::ConfigDir(), (dir / ".config" / "morvek").string());
}

TEST_F(ProfileTest, RegistryFileHoldsKeysAsSections) {
    const char *key = "Software\\Morvek\\Vantrell\\8.7\\Directories";
    write(dir / "config" / "morvek" / "registry.ini",
          "[software\\morvek\\vantrell\\8.7\\directories]\nhome dir=/opt/vantrell\n");
    char buf[64];
    EXPECT_EQ(platform::RegistryFile(), (dir / "config" / "morvek" / "registry.ini").string());
    EXPECT_EQ(platform::RegQueryString(key, "Home Dir", buf, sizeof buf), platform::RegResult::ok);
    EXPECT_STREQ(buf, "/opt/vantrell");
    EXPECT_EQ(platform::RegQueryString(key, "Other", buf, sizeof buf), platform::RegResult::absent);
    EXPECT_STREQ(buf, "");
    // A value that does not fit is refused whole, never handed out cut.
    char small[13];
    EXPECT_EQ(platform::RegQueryString(key, "Home Dir", small, sizeof small),
              platform::RegResult::toolong);
    EXPECT_STREQ(small, "");

    std::string other = write(dir / "elsewhere.ini", "[" + std::string(key) + "]\nHome Dir=/e\n");
    setenv("VANTRELL_REGISTRY", other.c_str(), 1);
    EXPECT_EQ(platform::RegQueryString(key, "Home Dir", buf, sizeof buf), platform::RegResult::ok);
    EXPECT_STREQ(buf, "/e");
    setenv("VANTRELL_REGISTRY", (dir / "none.ini").c_str(), 1);
    EXPECT_EQ(platform::RegQueryString(key, "Home Dir", buf, sizeof buf),
              platform::RegResult::absent);
}

TEST_F(ProfileTest, WriteChangesOneEntryAndKeepsEveryOtherLine) {
    const std::string text = "; settings\r\n"
                             "[Top]\r\n"
                             "  Key = old ; kept as a value\r\n"
                             "key=second\r\n"
                             "\r\n"
                             "[other]\r\n"
                             "a=1\r\n"
                             "[TOP]\r\n"
                             "late=x";
    std::string ini = write(dir / "host.ini", text);
    auto put = [&](const char *s, const char *k, const char *v) {
        return platform::WritePrivateProfileString(s, k, v, ini.c_str());
    };
    ASSERT_TRUE(put("top", "KEY", "new"));
    ASSERT_TRUE(put("TOP", "added", ""));
    ASSERT_TRUE(put("Other", "b", "2"));
    ASSERT_TRUE(put("New", "k", "v w"));
    EXPECT_EQ(testsupport::readfile(ini), "; settings\r\n"
                                          "[Top]\r\n"
                                          "Key=new\r\n"
                                          "key=second\r\n"
                                          "added=\r\n"
                                          "\r\n"
                                          "[other]\r\n"
                                          "a=1\r\n"
                                          "b=2\r\n"
                                          "[TOP]\r\n"
                                          "late=x\r\n"
                                          "[New]\r\n"
                                          "k=v w\r\n");
    EXPECT_EQ(get("Top", "key", ini), "new");
    EXPECT_EQ(get("Top", "added", ini), "");
    EXPECT_EQ(get("new", "K", ini), "v w");

    // Texts that would not stay one entry are refused and the file is left alone.
    const std::string before = testsupport::readfile(ini);
    EXPECT_FALSE(put("Top", "Key", "a\nb=c"));
    EXPECT_FALSE(put("To]p", "Key", "v"));
    EXPECT_FALSE(put("Top", "K=ey", "v"));
    EXPECT_FALSE(put("Top", " ", "v"));
    EXPECT_FALSE(put("Top", "Key", nullptr));
    EXPECT_EQ(testsupport::readfile(ini), before);
    EXPECT_FALSE(
        platform::WritePrivateProfileString("A", "k", "v", (dir / "no/such/dir/x.ini/").c_str()));
}

TEST_F(ProfileTest, HostProfileIsMadeWhereItIsLookedFor) {
    unsetenv("VANTRELL_PROFILE");
    const std::string file = platform::HostProfileFile();
    EXPECT_EQ(file, (dir / "config" / "morvek" / "vantrell.ini").string());
    // The first write makes the file and its folder.
    ASSERT_TRUE(
        platform::WritePrivateProfileString("BillOfMaterials", "Length", "40", file.c_str()));
    EXPECT_EQ(testsupport::readfile(file), "[BillOfMaterials]\nLength=40\n");

    setenv("VANTRELL_PROFILE", "mine.ini", 1);
    EXPECT_EQ(platform::HostProfileFile(), "./mine.ini");
    setenv("VANTRELL_PROFILE", (dir / "p.ini").c_str(), 1);
    EXPECT_EQ(platform::HostProfileFile(), (dir / "p.ini").string());
    unsetenv("VANTRELL_PROFILE");
}

} // namespace
