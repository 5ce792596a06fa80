// The report writer: title line, part lines and their wrapping, sheet headings, page filling.
#include "partlistint.h"
#include "support/testsupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

using partlist::ListHead;
using partlist::PartEntry;

std::string sp(int n) {
    return std::string(static_cast<std::size_t>(n), ' ');
}

class Report : public ::testing::Test {
  protected:
    void SetUp() override {
        partlist::runopts().proplen = 40;
        partlist::runopts().pagelen = 66;
        ASSERT_NE(out_.file(), nullptr);
        partlist::setreport(out_.file());
    }

    void TearDown() override {
        partlist::setreport(nullptr);
        partlist::freelist(&list_);
        partlist::freereport();
    }

    std::string text() { return out_.text(); }

    PartEntry *part(const char *name, const char *props, const char *descr, int count) {
        auto *e = static_cast<PartEntry *>(
            partlist::addlist(&list_, name, sizeof(PartEntry), 0, nullptr));
        std::snprintf(e->properties, sizeof e->properties, "%s", props);
        std::snprintf(e->description, sizeof e->description, "%s", descr);
        e->count += count;
        return e;
    }

    // Formats the list and writes it under heading, as the collection does for one group.
    std::string group(const char *heading) {
        partlist::makeprint(list_);
        partlist::printout(heading);
        partlist::freeprint();
        return text();
    }

    ListHead *list_ = nullptr;
    testsupport::Capture out_;
};

TEST_F(Report, TitleLineWidensOnlyAboveFortyProperty) {
    const std::string narrow = "SCHEMATIC" + sp(10) + "\tNAME" + sp(10) + "\t" + sp(8) +
                               "PROPERTY" + sp(4) + "\t" + sp(21) + "DESCRIPTION" + sp(16) +
                               "\tQTY" + sp(7) + "\n";
    char *h = partlist::makeheader();
    EXPECT_EQ(h, narrow);
    std::free(h);

    partlist::runopts().proplen = 41;
    h = partlist::makeheader();
    std::string wide = narrow;
    wide.insert(narrow.find("DESCRIPTION"), sp(25));
    EXPECT_EQ(h, wide);
    std::free(h);
}

TEST_F(Report, PartLineHasFivePaddedColumns) {
    part("R", "10k;0805;", "Resistor", 3);
    EXPECT_EQ(group(""), sp(18) + "\tR" + sp(13) + "\t10k;0805;" + sp(25) + "\tResistor" + sp(27) +
                             "\t" + sp(4) + "3\n");
}

TEST_F(Report, CategoryHeadingAndQuantityWidening) {
    part("C1", "", "", 12345);
    EXPECT_EQ(group("Control"), "    Control" + sp(13) + "\n" + sp(18) + "\tC1" + sp(12) + "\t" +
                                    sp(34) + "\t" + sp(35) + "\t 12345\n");
}

TEST_F(Report, LongNameContinuesUnderItsColumn) {
    part("ABCDEFGHIJKLMNOPQ", "1;", "", 1);
    const std::string first =
        sp(18) + "\tABCDEFGHIJKLMN\t1;" + sp(32) + "\t" + sp(35) + "\t" + sp(4) + "1\n";
    // Columns without more text contribute their wrap width in blanks (the property column W,
    // not its padded 34).
    const std::string second = sp(18) + "OPQ" + sp(11) + "\t" + sp(40) + sp(35) + sp(4) + "\n";
    EXPECT_EQ(group(""), first + second);
}

TEST_F(Report, LongDescriptionBreaksAfterCommaOrBlank) {
    // The 35th character is inside "tolerance"; the last blank before it ends the first piece,
    // and the rest continues behind W + 32 blanks.
    part("R", "", "Resistor, thick film, precision tolerance", 2);
    const std::string first = sp(18) + "\tR" + sp(13) + "\t" + sp(34) + "\t" +
                              "Resistor, thick film, precision " + sp(3) + "\t" + sp(4) + "2\n";
    const std::string second = sp(72) + "tolerance" + sp(26) + "\t" + sp(4) + "\n";
    EXPECT_EQ(group(""), first + second);
}

TEST_F(Report, LongDescriptionWithoutBlanksBreaksAtCommaOrWidth) {
    part("R", "", "Resistor,thick-film,precision-tolerance-x", 1);
    std::string all = group("");
    EXPECT_NE(all.find("\tResistor,thick-film," + sp(15) + "\t"), std::string::npos) << all;
    EXPECT_NE(all.find("\n" + sp(72) + "precision-tolerance-x" + sp(14) + "\t" + sp(4) + "\n"),
              std::string::npos)
        << all;

    partlist::freelist(&list_);
    part("S", "", std::string(40, 'x').c_str(), 1);
    all = group("");
    EXPECT_NE(all.find("\t" + std::string(35, 'x') + "\t"), std::string::npos);
    EXPECT_NE(all.find("\n" + sp(72) + "xxxxx" + sp(30) + "\t" + sp(4) + "\n"), std::string::npos);
}

TEST_F(Report, PropertyContinuationIndentFollowsWidth) {
    partlist::runopts().proplen = 50;
    part("U1", "", "Operational amplifier with rail-to-rail output", 1);
    std::string all = group("");
    // The description continues behind W + 32 blanks.
    EXPECT_NE(all.find("\n" + sp(82) + "rail-to-rail output"), std::string::npos) << all;
}

TEST_F(Report, HugePropertyWidthStaysWithinTheLine) {
    partlist::runopts().proplen = 2147483647;
    part("R", "1k;", std::string(47, 'd').c_str(), 1);
    std::string all = group("");
    const std::size_t second = all.find('\n') + 1;
    ASSERT_LT(second, all.size());
    // The continuation's indent is cut to the line's room; the text it would carry is lost only
    // with such a width.
    EXPECT_LE(all.size() - second, 512u);
    EXPECT_EQ(all.substr(second, 100), sp(100));
}

TEST_F(Report, PrintListIsSortedByFormattedText) {
    part("R", "22k;", "", 1);
    part("C", "", "", 1);
    part("R", "10k;", "", 1); // same key: addlist returns the first R entry
    std::string all = group("");
    const auto c = all.find("\tC ");
    const auto r = all.find("\tR ");
    ASSERT_NE(c, std::string::npos);
    ASSERT_NE(r, std::string::npos);
    EXPECT_LT(c, r);
    EXPECT_NE(all.find("10k;"), std::string::npos); // the entry kept the last text written
}

TEST_F(Report, SheetHeadingsAfterTheFirstStartWithAnEmptyLine) {
    partlist::printsheet("top.sch");
    partlist::printsheet("amp.sch");
    EXPECT_EQ(text(), "top.sch             \n\namp.sch             \n");
}

TEST_F(Report, PageIsFilledWhenTheCounterNearsThePageLength) {
    partlist::runopts().pagelen = 8;
    for (const char *name : {"A", "B", "C", "D", "E", "F", "G"})
        part(name, "", "", 1);
    // Heading counts 1; after the 4th entry the counter is 5 = P - 3: 8 - 5 + 1 = 4 newlines.
    std::string all = group("Discrete");
    const std::string line =
        sp(18) + "\tD" + sp(13) + "\t" + sp(34) + "\t" + sp(35) + "\t" + sp(4) + "1\n";
    EXPECT_NE(all.find(line + "\n\n\n\n" + sp(18) + "\tE"), std::string::npos) << all;
    // The counter restarted at 0; three more lines do not reach 5.
    EXPECT_EQ(all.substr(all.size() - 2), "1\n");
}

TEST_F(Report, EveryEntryFillsOnAShortPage) {
    partlist::runopts().pagelen = 2;
    part("A", "", "", 1);
    part("B", "", "", 1);
    // Heading and A make 2 = P: one newline; B alone makes 1 <= P: two newlines.
    std::string all = group("Control");
    EXPECT_NE(all.find("1\n\n" + sp(18) + "\tB"), std::string::npos) << all;
    EXPECT_EQ(all.substr(all.size() - 4), "1\n\n\n");
}

TEST_F(Report, CounterBeyondThePageOnlyResets) {
    partlist::runopts().pagelen = 3;
    // A name of 30 letters takes three lines: with the heading the counter reaches 4 > P.
    part(std::string(30, 'N').c_str(), "", "", 1);
    partlist::makeprint(list_);
    partlist::printout("Control");
    partlist::printout("");
    partlist::freeprint();
    std::string all = text();
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1 + 3 + 3) << all;
}

TEST_F(Report, NoPrintListWritesNothing) {
    partlist::makeprint(nullptr);
    partlist::printout("Control");
    EXPECT_EQ(text(), "");
}

TEST(ReportHelpers, BlanksAndAppendstr) {
    EXPECT_STREQ(partlist::blanks(0, ' '), "");
    EXPECT_STREQ(partlist::blanks(-3, ' '), "");
    EXPECT_STREQ(partlist::blanks(3, '\n'), "\n\n\n");
    EXPECT_EQ(std::strlen(partlist::blanks(5000, ' ')), 5000u);

    char *s = nullptr;
    partlist::appendstr(&s, "ab");
    partlist::appendstr(&s, nullptr);
    partlist::appendstr(&s, "cd");
    EXPECT_STREQ(s, "abcd");
    std::free(s);
    partlist::freereport();
}

TEST_F(Report, QuantityIsWrittenAsPrintfWritesIt) {
    const int counts[] = {0, 7, 1234, 12345, -5, 2147483647, -2147483647 - 1};
    for (int c : counts)
        part(("Q" + std::to_string(c)).c_str(), "", "", c);
    std::string all = group("");
    for (int c : counts) {
        char want[32];
        std::snprintf(want, sizeof want, "\t %4d\n", c);
        EXPECT_NE(all.find(want), std::string::npos) << "count " << c << " in\n" << all;
    }
}

TEST_F(Report, LinesOfAWrappedEntryDoNotReachTheNext) {
    // The first entry takes three lines; the pending lines it leaves behind are reused for the
    // entries after it and must start empty.
    part("ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEF", "1;", "", 1);
    part("B", "2;", "", 1);
    part("C", "3;", "", 1);
    const std::string all = group("");
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 5) << all;
    EXPECT_NE(all.find("\n" + sp(18) + "\tB" + sp(13) + "\t2;" + sp(32) + "\t" + sp(35) + "\t" +
                       sp(4) + "1\n" + sp(18) + "\tC"),
              std::string::npos)
        << all;
}

TEST_F(Report, PieceFormatsOtherThanTheTablesGoThroughPrintf) {
    // Columns added ahead of makeprint stand at the start of the entry's first line: a
    // right-aligned format and one with a literal percent sign behind the text.
    partlist::addcolumn("%5s|", 5, "ab", 0);
    partlist::addcolumn("%-4s%%", 4, "xy", 0);
    part("R", "", "", 1);
    EXPECT_EQ(group("").substr(0, 12), "   ab|xy  %" + sp(1));
}

} // namespace
