// The description map: loading line by line, lookups, and the property width.
#include "partlistint.h"
#include "support/testsupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>

namespace {

class Map : public ::testing::Test {
  protected:
    void TearDown() override {
        partlist::clearMap();
        for (const std::string &f : files_)
            std::remove(f.c_str());
    }

    // A map file with exactly these bytes.
    std::string write(const std::string &bytes) {
        std::string name = testsupport::tempfile("/tmp/partlist_mapXXXXXX", bytes);
        EXPECT_FALSE(name.empty());
        files_.push_back(name);
        return name;
    }

    // The category (or "<none>") and the description of a part.
    std::string look(const char *part) {
        char descr[partlist::LOOKUP_DESCR_SIZE] = "untouched";
        const char *cat = partlist::lookupMap(part, descr);
        return cat == nullptr ? "<none>" : std::string(cat) + "|" + descr;
    }

    std::vector<std::string> files_;
};

TEST_F(Map, RecordIsCategoryPartAndRestOfLine) {
    partlist::initializeMap(
        write("Discrete R Resistor 1% 0805\nControl\tSW1   Push  button \n").c_str());
    EXPECT_EQ(look("R"), "Discrete|Resistor 1% 0805");
    // Blanks inside and at the end of the description are kept as written.
    EXPECT_EQ(look("SW1"), "Control|Push  button ");
    EXPECT_EQ(look("r"), "<none>");
}

TEST_F(Map, EmptyMapAndMissingFileFindNothing) {
    EXPECT_EQ(look("R"), "<none>");
    EXPECT_EQ(partlist::initializeMap("/nonexistent/dra.txt"), 0);
    EXPECT_EQ(partlist::initializeMap(nullptr), 0);
    EXPECT_EQ(look("R"), "<none>");
}

TEST_F(Map, NameWrittenWithBackslashesOpens) {
    std::string name = write("Discrete R Resistor\n");
    std::replace(name.begin(), name.end(), '/', '\\');
    partlist::initializeMap(name.c_str());
    EXPECT_EQ(look("R"), "Discrete|Resistor");
}

TEST_F(Map, CarriageReturnBeforeLineFeedIsDropped) {
    partlist::initializeMap(write("Discrete R Resistor\r\nControl K Relay\r").c_str());
    EXPECT_EQ(look("R"), "Discrete|Resistor");
    EXPECT_EQ(look("K"), "Control|Relay");
}

TEST_F(Map, ShortLinesNeverInheritTheDescriptionBefore) {
    partlist::initializeMap(
        write("Discrete R Resistor\nControl K\nLonely\n\n   \nDiscrete C Capacitor\n").c_str());
    EXPECT_EQ(look("R"), "Discrete|Resistor");
    EXPECT_EQ(look("K"), "Control|");
    EXPECT_EQ(look("Lonely"), "<none>");
    // A line with one word is skipped and does not swallow the next line's words.
    EXPECT_EQ(look("C"), "Discrete|Capacitor");
    EXPECT_EQ(look("Discrete"), "<none>");
}

TEST_F(Map, LongFieldsAreKeptWhole) {
    const std::string cat(30, 'c');
    const std::string part(40, 'p');
    const std::string descr(120, 'd');
    partlist::initializeMap(write(cat + " " + part + " " + descr + "\n").c_str());
    char buf[partlist::LOOKUP_DESCR_SIZE];
    const char *found = partlist::lookupMap(part.c_str(), buf);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, cat);
    // The caller's buffer gets what fits.
    EXPECT_EQ(std::string(buf), descr.substr(0, partlist::LOOKUP_DESCR_SIZE - 1));
    EXPECT_EQ(look(part.substr(0, 19).c_str()), "<none>");
}

TEST_F(Map, LaterRecordsAndFilesAddToTheMap) {
    partlist::initializeMap(write("Discrete R Old\nControl K Relay\n").c_str());
    partlist::initializeMap(write("Electrical R New\n").c_str());
    EXPECT_EQ(look("R"), "Electrical|New");
    EXPECT_EQ(look("K"), "Control|Relay");
    partlist::clearMap();
    EXPECT_EQ(look("K"), "<none>");
}

TEST(PropertyLength, DecimalTextOrZero) {
    EXPECT_EQ(partlist::GetPropertyLength(), 0);
    EXPECT_EQ(partlist::SetPropertyLength("60"), 60);
    EXPECT_EQ(partlist::GetPropertyLength(), 60);
    EXPECT_EQ(partlist::SetPropertyLength("abc"), 0);
    EXPECT_EQ(partlist::SetPropertyLength(" 45x"), 45);
    EXPECT_EQ(partlist::SetPropertyLength(nullptr), 0);
    EXPECT_EQ(partlist::SetPropertyLength("99999999999999999999"), 2147483647);
}

} // namespace
