// Finding, opening and recognising input files: the search order of the default extensions,
// the "unable to open" forms, header words, the two file records and a caller's own stream.
#include "readerfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class FileOpen : public readertest::ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        searchscratch();
    }
};

TEST_F(FileOpen, DesignAndSchematicKindsTryDsnBeforeSch) {
    put("cell.sch", "[schematic2]\n");
    const char *path = nullptr;
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_SCHEMATIC, &path), kdx::XXK_SCHEMATIC);
    EXPECT_THAT(path, EndsWith("/cell.sch"));

    // Asking for either kind accepts both, and .dsn is tried first.
    put("cell.dsn", "[design]\np1.sch\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_SCHEMATIC, &path), kdx::XXK_DESIGN);
    EXPECT_THAT(path, EndsWith("/cell.dsn"));
    EXPECT_STREQ(kdx::xxcurfile()->section, "[design]");

    // With the netlist kind, .imf and .ims come before both.
    put("cell.ims", "[simulation]\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_SCHEMATIC | kdx::XXK_NETLIST, &path),
              kdx::XXK_NETLIST);
    EXPECT_THAT(path, EndsWith("/cell.ims"));
    put("cell.imf", "[simulation]\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_SCHEMATIC | kdx::XXK_NETLIST, &path),
              kdx::XXK_NETLIST);
    EXPECT_THAT(path, EndsWith("/cell.imf"));

    // A name with an extension is opened as it stands.
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell.sch", kdx::XXK_DESIGN, &path), kdx::XXK_SCHEMATIC);
    EXPECT_THAT(path, EndsWith("/cell.sch"));
    EXPECT_THAT(fresh(), IsEmpty());
}

TEST_F(FileOpen, MissingFileNamesTheExpectedType) {
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_EQ(fresh(), "error: unable to open file cell.sch or .dsn for reading\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell.sch", kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_EQ(fresh(), "error: unable to open file cell.sch for reading\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "inv", kdx::XXK_SYMBOL, nullptr), 0);
    EXPECT_EQ(fresh(), "error: unable to open file inv.sym for reading\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_NETLIST, nullptr), 0);
    EXPECT_EQ(fresh(), "error: unable to open file cell.imf, .ims for reading\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_NETLIST | kdx::XXK_DESIGN, nullptr), 0);
    EXPECT_EQ(fresh(), "error: unable to open file cell.imf, .ims, .sch, .dsn for reading\n");

    EXPECT_EQ(kdx::xxfdopen(nullptr, "cell", kdx::XXK_SCHEMATIC | kdx::XXK_QUIET, nullptr), 0);
    EXPECT_THAT(fresh(), IsEmpty());

    EXPECT_EQ(kdx::xxfdopen(nullptr, "", kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_THAT(fresh(), HasSubstr("error: (in xxfdopen) no filename specified\n"));
    EXPECT_EQ(kdx::xxfdopen(nullptr, nullptr, kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_THAT(fresh(), HasSubstr("no filename specified"));
}

TEST_F(FileOpen, HeaderWordIsMatchedWithoutCaseAfterBlankLines) {
    put("top.sch", "\r\n   \r\n[Schematic2] written by hand\r\nport 0\r\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "top", kdx::XXK_DESIGN, nullptr), kdx::XXK_SCHEMATIC);
    EXPECT_STREQ(kdx::xxcurfile()->section, "[Schematic2]");
    // The rest of the header line is skipped: the reader stands on the next line.
    EXPECT_EQ(kdx::xxcurfile()->line, 4);
    EXPECT_EQ(kdx::xxpeek(), 'p');

    put("old.dsn", "[DESIGN2]\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "old", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_DESIGN);
    EXPECT_STREQ(kdx::xxcurfile()->section, "[DESIGN2]");
}

TEST_F(FileOpen, BadOrMissingHeaderClosesTheFile) {
    put("sym.sch", "[symbol2]\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "sym", kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_EQ(fresh(), "error: file " + dir_ + "/sym.sch : incorrect file header: [symbol2]\n");
    EXPECT_EQ(kdx::xxcurinput(nullptr, nullptr), 0);
    EXPECT_EQ(kdx::xxcurfile()->section, nullptr);

    put("blank.sch", "\n  \t\n\r\n");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "blank", kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_EQ(fresh(), "error: file " + dir_ + "/blank.sch line 4 : empty input file\n");
    EXPECT_EQ(kdx::xxcurinput(nullptr, nullptr), 0);

    put("none.sch", "");
    EXPECT_EQ(kdx::xxfdopen(nullptr, "none", kdx::XXK_SCHEMATIC, nullptr), 0);
    EXPECT_THAT(fresh(), HasSubstr("line 1 : empty input file\n"));
}

TEST_F(FileOpen, NameEndingInCarriageReturnOrDesignMark) {
    put("inv.sym", "[symbol2]\n");
    const char *path = nullptr;
    EXPECT_EQ(kdx::xxfdopen(nullptr, "inv@D", kdx::XXK_SYMBOL, &path), kdx::XXK_SYMBOL);
    EXPECT_THAT(path, EndsWith("/inv.sym"));
    EXPECT_EQ(kdx::xxfdopen(nullptr, "inv\r", kdx::XXK_SYMBOL, &path), kdx::XXK_SYMBOL);
    EXPECT_THAT(path, EndsWith("/inv.sym"));
    // The caller's text is not changed (it may be a hashed name).
    char name[] = "inv\r";
    EXPECT_EQ(kdx::xxfdopen(nullptr, name, kdx::XXK_SYMBOL, nullptr), kdx::XXK_SYMBOL);
    EXPECT_STREQ(name, "inv\r");
}

TEST_F(FileOpen, CallerStreamIsRewoundAndLeftOpen) {
    FILE *fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    std::fputs("[schematic2]\nver 2\n", fp); // positioned at the end
    EXPECT_EQ(kdx::xxfdopen(fp, "given.sch", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_SCHEMATIC);
    const char *name = nullptr;
    int line = 0;
    ASSERT_EQ(kdx::xxcurinput(&name, &line), 1);
    EXPECT_STREQ(name, "given.sch");
    EXPECT_EQ(line, 2);
    kdx::xxfdclose();
    EXPECT_EQ(kdx::xxcurinput(nullptr, nullptr), 0);
    // Still the caller's: it can be read and closed by the caller.
    std::rewind(fp);
    EXPECT_EQ(std::fgetc(fp), '[');
    std::fclose(fp);
}

TEST_F(FileOpen, SecondaryRecordLeavesThePrimaryPositioned) {
    put("top.sch", "[schematic2]\n[detail]\nw 1\n");
    put("r.sym", "[symbol2]\nport 1\n");
    ASSERT_EQ(kdx::xxfdopen(nullptr, "top", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_SCHEMATIC);
    ASSERT_EQ(kdx::xxfindsection("[detail]"), 1);

    kdx::xxusefile(kdx::XXFILE_SECONDARY);
    ASSERT_EQ(kdx::xxfdopen(nullptr, "r", kdx::XXK_SYMBOL, nullptr), kdx::XXK_SYMBOL);
    EXPECT_EQ(kdx::xxpeek(), 'p');
    kdx::xxfdclose();
    kdx::xxusefile(kdx::XXFILE_PRIMARY);

    EXPECT_STREQ(kdx::xxcurfile()->section, "[detail]");
    EXPECT_EQ(kdx::xxpeek(), 'w');
    EXPECT_EQ(kdx::xxcurfile()->line, 3);
}

TEST_F(FileOpen, VerboseOpeningNamesThePath) {
    put("top.sch", "[schematic2]\n");
    kdx::xxoptions().v = 1;
    EXPECT_EQ(kdx::xxfdopen(nullptr, "top", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_SCHEMATIC);
    EXPECT_EQ(fresh(), "Reading file " + dir_ + "/top.sch\n");
}

TEST_F(FileOpen, FreeingTheLibraryClosesBothRecords) {
    put("top.sch", "[schematic2]\n");
    put("r.sym", "[symbol2]\n");
    ASSERT_EQ(kdx::xxfdopen(nullptr, "top", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_SCHEMATIC);
    kdx::filerec *primary = kdx::xxcurfile();
    kdx::xxusefile(kdx::XXFILE_SECONDARY);
    ASSERT_EQ(kdx::xxfdopen(nullptr, "r", kdx::XXK_SYMBOL, nullptr), kdx::XXK_SYMBOL);
    kdx::xxfreeall();
    // The primary record is current again and nothing is open.
    EXPECT_EQ(kdx::xxcurfile(), primary);
    EXPECT_EQ(kdx::xxcurinput(nullptr, nullptr), 0);
    kdx::xxusefile(kdx::XXFILE_SECONDARY);
    EXPECT_EQ(kdx::xxcurinput(nullptr, nullptr), 0);
    kdx::xxusefile(kdx::XXFILE_PRIMARY);
    EXPECT_EQ(kdx::xxpeek(), EOF);
}

} // namespace
