// The character, word, line and section readers: CR LF input, bounds of every buffer, line
// numbers, saved line lists and the section search (forward, then one rewind).
#include "readerfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class LineReader : public readertest::ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        kdx::xxinit();
    }

    // Opens text, in a stream of its own, as the current file (its header word must be
    // "[schematic2]").
    void open(const std::string &text) {
        FILE *in = tmpstream();
        ASSERT_NE(in, nullptr);
        std::fwrite(text.data(), 1, text.size(), in);
        ASSERT_EQ(kdx::xxfdopen(in, "in.sch", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_SCHEMATIC);
    }

    static std::vector<std::string> texts(const kdx::linecell *l) {
        std::vector<std::string> out;
        for (; l; l = l->next)
            out.emplace_back(l->text);
        return out;
    }

    int line() const { return kdx::xxcurfile()->line; }
};

TEST_F(LineReader, RestOfLineKeepsLeadingBlanksAndDropsCarriageReturns) {
    open("[schematic2]\n  abc  \r\n\na\rb\nlast");
    kdx::xxbufinit(&kdx::xxlinebuf, 64);
    EXPECT_STREQ(kdx::xxrdline(&kdx::xxlinebuf), "  abc");
    EXPECT_EQ(line(), 3);
    EXPECT_STREQ(kdx::xxrdline(&kdx::xxlinebuf), "");
    EXPECT_STREQ(kdx::xxrdline(&kdx::xxlinebuf), "ab");
    EXPECT_STREQ(kdx::xxrdline(&kdx::xxlinebuf), "last"); // no line feed at the end
    char *end = kdx::xxlinebuf->ptr;
    EXPECT_EQ(kdx::xxrdline(&kdx::xxlinebuf), nullptr);
    EXPECT_EQ(kdx::xxlinebuf->ptr, end);
    EXPECT_STREQ(end, "");
    EXPECT_THAT(fresh(), IsEmpty());
}

TEST_F(LineReader, OverlongLineIsCutOnceAndSkipped) {
    open("[schematic2]\n" + std::string(5000, 'x') + "\nnext\n");
    kdx::xxbufinit(&kdx::xxlinebuf, 100);
    kdx::membuf *blk = kdx::xxlinebuf;
    const std::size_t room = static_cast<std::size_t>(blk->eptr - blk->ptr);
    const char *t = kdx::xxrdline(&kdx::xxlinebuf);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::strlen(t), room - 2);
    EXPECT_LE(kdx::xxlinebuf->ptr, blk->eptr);
    EXPECT_EQ(fresh(), "error: (in xxrdline) Line too long\n");
    EXPECT_STREQ(kdx::xxrdline(&kdx::xxlinebuf), "next");
    EXPECT_EQ(line(), 4);
}

TEST_F(LineReader, WordsStopAtWhiteSpaceAndLeaveTheLineEnd) {
    open("[schematic2]\n\tport  A[0:3]\r\n   \r\nw\vx\n");
    char buf[512];
    EXPECT_STREQ(kdx::xxrdstr(buf, sizeof buf), "port");
    EXPECT_STREQ(kdx::xxrdstr(buf, sizeof buf), "A[0:3]");
    EXPECT_EQ(kdx::xxpeek(), '\r');
    EXPECT_EQ(kdx::xxrdstr(buf, sizeof buf), nullptr); // blank rest of line
    kdx::xxpurgeline();
    EXPECT_EQ(kdx::xxrdstr(buf, sizeof buf), nullptr);
    kdx::xxpurgeline();
    EXPECT_STREQ(kdx::xxrdstr(buf, sizeof buf), "w"); // a vertical tab ends a word too
    EXPECT_STREQ(kdx::xxrdstr(buf, sizeof buf), "x");
    EXPECT_EQ(line(), 4);
}

TEST_F(LineReader, WordAtItsLimitIsCutWithOneMessage) {
    open("[schematic2]\n" + std::string(99, 'a') + " " + std::string(100, 'b') + " " +
         std::string(300, 'c') + "\n");
    char buf[100];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(std::strlen(kdx::xxrdstr(buf, 100)), 99u);
    EXPECT_THAT(fresh(), IsEmpty());
    EXPECT_EQ(std::string(kdx::xxrdstr(buf, 100)), std::string(99, 'b'));
    EXPECT_EQ(fresh(), "error: (in xxrdstr) file in.sch line 2 : line or identifier too long, "
                       "being truncated\n");
    EXPECT_EQ(std::string(kdx::xxrdstr(buf, 100)), std::string(99, 'c'));
    EXPECT_THAT(fresh(), HasSubstr("being truncated"));
    EXPECT_EQ(kdx::xxpeek(), '\n');
}

TEST_F(LineReader, BufferWordsAndWholeLines) {
    open("[schematic2]\n  one two  \t\r\n  rest of  line \t\r\n\r\n");
    kdx::xxbufinit(&kdx::xxtmpbuf, 64);
    char *start = kdx::xxtmpbuf->ptr;
    EXPECT_STREQ(kdx::xxrdbuf(&kdx::xxtmpbuf, 0), "one");
    EXPECT_STREQ(kdx::xxrdbuf(&kdx::xxtmpbuf, 0), "two");
    EXPECT_EQ(kdx::xxtmpbuf->ptr, start + 8); // both texts with their terminators
    char *before = kdx::xxtmpbuf->ptr;
    EXPECT_EQ(kdx::xxrdbuf(&kdx::xxtmpbuf, 1), nullptr); // only blanks before the line end
    EXPECT_EQ(kdx::xxtmpbuf->ptr, before);
    kdx::xxpurgeline();
    EXPECT_STREQ(kdx::xxrdbuf(&kdx::xxtmpbuf, 1), "rest of  line");
    EXPECT_EQ(kdx::xxpeek(), '\r');
}

TEST_F(LineReader, BufferWordStaysInsideASmallBlock) {
    open("[schematic2]\nabcdefghijklmnopqrstuvwxyz\n");
    kdx::membuf *blk = kdx::xxtmpbuf;
    blk->ptr = blk->eptr - 10; // ten bytes left
    const std::size_t room = static_cast<std::size_t>(blk->eptr - blk->ptr);
    const char *t = kdx::xxrdbuf(&kdx::xxtmpbuf, 1);
    ASSERT_NE(t, nullptr);
    // The kept characters end with the last one read; the terminator is the block's last byte.
    EXPECT_EQ(std::strlen(t), room - 1);
    EXPECT_EQ(t[room - 2], 'z');
    EXPECT_EQ(kdx::xxtmpbuf->ptr, blk->eptr);
    EXPECT_THAT(fresh(), HasSubstr("line or identifier too long, being truncated"));
}

TEST_F(LineReader, PropertiesFromTheRestOfALineOrFromParts) {
    open("[schematic2]\n   primitive:R  \r\n  \t \n");
    kdx::prop *p = kdx::xxrdprop();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(kdx::rectype(p), kdx::objtype::prop);
    EXPECT_STREQ(p->text, "primitive:R");
    kdx::xxpurgeline();
    char *before = kdx::xxalbuf->ptr;
    EXPECT_EQ(kdx::xxrdprop(), nullptr);
    EXPECT_LE(kdx::xxalbuf->ptr, before + sizeof(kdx::prop)); // the record was given back

    kdx::prop *q = kdx::xxalprop(0x81, "id", "R1");
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q->text, "id:R1");
    EXPECT_EQ(q->flags, 0x81);
    EXPECT_EQ(kdx::rectype(q), kdx::objtype::prop);
    EXPECT_STREQ(kdx::xxalprop(2, "xform", nullptr)->text, "xform");
    EXPECT_EQ(kdx::xxalprop(1, nullptr, "x")->text, nullptr);
}

TEST_F(LineReader, SavedSectionKeepsEveryLineUpToTheNextSection) {
    open("[schematic2]\n[tools]\r\n# comment\r\n  indented  \r\n\r\nlast\r\n[detail]\r\n");
    ASSERT_EQ(kdx::xxfindsection("[tools]"), 1);
    kdx::linecell *head = nullptr;
    EXPECT_EQ(kdx::xxsvsec(nullptr, "[tools]", &head), 1);
    EXPECT_THAT(texts(head), ElementsAre("# comment", "  indented", "", "last"));
    EXPECT_EQ(kdx::xxpeek(), '[');

    // Lines saved later into the same list go to its end, even without the caller's tail.
    kdx::xxpurgeline();
    open("[schematic2]\nmore\nlines\n");
    kdx::xxsvsec(nullptr, "[tools]", &head);
    EXPECT_THAT(texts(head), ElementsAre("# comment", "  indented", "", "last", "more", "lines"));
}

TEST_F(LineReader, SavedLineWithPrefixAndAtTheEndOfTheFile) {
    open("[schematic2]\n  n 1 2\nx");
    kdx::linecell *head = nullptr, *tail = nullptr;
    kdx::xxsvline("n", &head, &tail);
    kdx::xxsvline(nullptr, &head, &tail);
    kdx::xxsvline("f", &head, &tail); // nothing left to read
    EXPECT_THAT(texts(head), ElementsAre("n   n 1 2", "x", "f "));
    EXPECT_EQ(tail->next, nullptr);
    EXPECT_STREQ(tail->text, "f ");
}

TEST_F(LineReader, SectionsAreFoundForwardThenByOneRewind) {
    open("[schematic2]\nver 1\n[DETAIL]   \t\r\nw 1\n[cell use]\r\nuse R\n");
    kdx::xxoptions().verbose = 1;
    EXPECT_EQ(kdx::xxfindsection("[schematic2]"), 1); // already standing in it
    EXPECT_EQ(kdx::xxfindsection("[cell use]"), 1);
    EXPECT_EQ(kdx::xxpeek(), 'u');
    EXPECT_EQ(line(), 6);
    EXPECT_THAT(fresh(), IsEmpty());

    EXPECT_EQ(kdx::xxfindsection("[detail]"), 1);
    EXPECT_STREQ(kdx::xxcurfile()->section, "[detail]");
    EXPECT_EQ(kdx::xxpeek(), 'w');
    EXPECT_EQ(line(), 4);
    EXPECT_EQ(fresh(), "Arghh. Seeking to beginning of file to find [detail].\n");

    EXPECT_EQ(kdx::xxfindsection("[comments]"), 0);
    EXPECT_THAT(fresh(), HasSubstr("Arghh."));
}

TEST_F(LineReader, BlankLineBeforeASectionDoesNotHideIt) {
    open("[schematic2]\nver 1\n\n[detail]\r\n\n[cell use]\nuse R\n");
    EXPECT_EQ(kdx::xxfindsection("[detail]"), 1);
    EXPECT_EQ(line(), 5);
    EXPECT_EQ(kdx::xxfindsection("[cell use]"), 1);
    EXPECT_EQ(kdx::xxpeek(), 'u');
    EXPECT_EQ(line(), 7);
    // Found again after a rewind, where the search starts at the header line.
    EXPECT_EQ(kdx::xxfindsection("[detail]"), 1);
    EXPECT_EQ(line(), 5);
}

TEST_F(LineReader, SectionReadingRunsTheHandlerOrReportsAMissingSection) {
    open("[schematic2]\n[tools]\nt1\n");
    struct Seen {
        int calls = 0;
        int result = 1;
    } seen;
    auto handler = [](void *owner, const char *section, void *arg) {
        auto *s = static_cast<Seen *>(arg);
        EXPECT_EQ(owner, nullptr);
        EXPECT_STREQ(section, "[tools]");
        ++s->calls;
        return s->result;
    };
    EXPECT_EQ(kdx::xxrdsection(nullptr, "[tools]", handler, &seen, 1), 1);
    seen.result = 7;
    EXPECT_EQ(kdx::xxrdsection(nullptr, "[tools]", handler, &seen, 1), 1);
    seen.result = 0;
    EXPECT_EQ(kdx::xxrdsection(nullptr, "[tools]", handler, &seen, 1), 0);
    EXPECT_EQ(seen.calls, 3);
    EXPECT_THAT(fresh(), IsEmpty());

    EXPECT_EQ(kdx::xxrdsection(nullptr, "[detail]", handler, &seen, 0), 0);
    EXPECT_THAT(fresh(), IsEmpty());
    EXPECT_EQ(kdx::xxrdsection(nullptr, "[detail]", handler, &seen, 1), 0);
    EXPECT_EQ(fresh(), "error: (in xxrdsection) file in.sch : cannot find [detail] section of "
                       "file\n");
    EXPECT_EQ(seen.calls, 3);

    kdx::xxfdclose();
    EXPECT_EQ(kdx::xxfindsection("[tools]"), 0);
    EXPECT_EQ(fresh(), "error: (in xxfindsection) no file open.\n");
    EXPECT_EQ(kdx::xxpeek(), EOF);
}

} // namespace
