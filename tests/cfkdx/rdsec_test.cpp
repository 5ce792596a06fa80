// The section search over whole files: a missing optional section, sections met again after a
// rewind, searches from the middle of a line, over-long section lines, and files opened anew on
// the same stream or in the other file record. Positions, line numbers and messages are pinned.
#include "readerfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using ::testing::IsEmpty;

// Header, sections in mixed case with trailing blanks and CR LF, a bracket line that names no
// section, an empty line, the same section twice, and a last section line without a line feed.
constexpr const char *kSheet = "[schematic2]\n"
                               "ver 1\n"
                               "[detail]\n"
                               "w 1\n"
                               "\n"
                               "[cell use]  \r\n"
                               "[not a section\n"
                               "use R\n"
                               "[Detail]\n"
                               "x\n"
                               "[comments]";

class SectionSearch : public readertest::ReaderTest {
  protected:
    void SetUp() override {
        ReaderTest::SetUp();
        searchscratch();
    }

    // The current record reads `text`: from a file of ours found along the path, or from the
    // caller's stream `*stream` (made when null, else emptied and rewritten).
    void open(const std::string &text, bool ours, FILE **stream = nullptr,
              int kind = kdx::XXK_SCHEMATIC) {
        if (ours) {
            put("in.sch", text);
            ASSERT_EQ(kdx::xxfdopen(nullptr, "in", kdx::XXK_SCHEMATIC, nullptr),
                      kdx::XXK_SCHEMATIC);
            return;
        }
        if (!stream) stream = &in_;
        if (!*stream) *stream = tmpstream();
        ASSERT_NE(*stream, nullptr);
        std::rewind(*stream);
        ASSERT_EQ(ftruncate(fileno(*stream), 0), 0);
        std::fwrite(text.data(), 1, text.size(), *stream);
        std::fflush(*stream);
        ASSERT_EQ(kdx::xxfdopen(*stream, "in.sch", kind, nullptr), kind);
    }

  public:
    // One line of the transcript: the result, where the file stands, its line, what comes next,
    // and the messages written.
    std::string step(const std::string &what, int result) {
        const kdx::filerec *f = kdx::xxcurfile();
        const long pos = static_cast<long>(kdx::xxftell(*f));
        const int line = f->line;
        const int next = kdx::xxpeek();
        char head[128];
        std::snprintf(head, sizeof head, "%s -> %d at %ld line %d next %d: ", what.c_str(), result,
                      pos, line, next);
        return head + ("{" + fresh() + "}\n");
    }

    std::string find(const char *section) {
        return step(std::string("find ") + section, kdx::xxfindsection(section));
    }

  protected:
    FILE *in_ = nullptr;    // the primary record's stream, when a test gives one
    FILE *other_ = nullptr; // a second stream of the test's own
};

// The searches a schematic reader makes (a missing optional section between required ones), then
// sections behind, ahead, again, and from the middle of a line.
std::string searches(SectionSearch &t) {
    std::string out;
    out += t.find("[tools]");
    out += t.find("[cell use]");
    out += t.find("[detail]"); // the second one, in other case, lies ahead
    char word[16];
    out += t.step("word", kdx::xxrdstr(word, sizeof word) != nullptr);
    out += t.find("[comments]"); // from the middle of a line: its rest counts as a line
    out += t.find("[schematic2]");
    out += t.find("[detail]");
    kdx::xxbufinit(&kdx::xxlinebuf, 64);
    out += t.step("line", kdx::xxrdline(&kdx::xxlinebuf) != nullptr);
    out += t.find("[tools]");
    out += t.find("[comments]");
    out += t.find("[cell use]");
    out += t.find("[cell use]"); // standing in it already
    out += t.find("[not a section");
    out += t.find("[tools]");
    return out;
}

constexpr const char *kArghh = "Arghh. Seeking to beginning of file to find ";

std::string expected() {
    const std::string a = kArghh;
    return "find [tools] -> 0 at 89 line 12 next -1: {" + a + "[tools].\n}\n" +
           "find [cell use] -> 1 at 47 line 7 next 91: {" + a + "[cell use].\n}\n" +
           "find [detail] -> 1 at 77 line 10 next 120: {}\n"
           "word -> 1 at 78 line 10 next 10: {}\n"
           "find [comments] -> 1 at 89 line 12 next -1: {}\n"
           "find [schematic2] -> 1 at 13 line 2 next 118: {" +
           a + "[schematic2].\n}\n" +
           "find [detail] -> 1 at 28 line 4 next 119: {}\n"
           "line -> 1 at 32 line 5 next 10: {}\n"
           "find [tools] -> 0 at 89 line 12 next -1: {" +
           a + "[tools].\n}\n" + "find [comments] -> 1 at 89 line 12 next -1: {" + a +
           "[comments].\n}\n" + "find [cell use] -> 1 at 47 line 7 next 91: {" + a +
           "[cell use].\n}\n" +
           "find [cell use] -> 1 at 47 line 7 next 91: {}\n"
           "find [not a section -> 1 at 62 line 8 next 117: {}\n"
           "find [tools] -> 0 at 89 line 12 next -1: {" +
           a + "[tools].\n}\n";
}

TEST_F(SectionSearch, MissingSectionThenSectionsBehindAndAheadFromACallersStream) {
    kdx::xxoptions().verbose = 1;
    open(kSheet, false);
    EXPECT_EQ(searches(*this), expected());
}

TEST_F(SectionSearch, MissingSectionThenSectionsBehindAndAheadFromOurOwnFile) {
    kdx::xxoptions().verbose = 1;
    open(kSheet, true);
    EXPECT_EQ(searches(*this), expected());
}

// Sections found ahead first, so that what is known of the file ends before the file does: the
// searches read on behind it, read from the start up to it, and stand between two lines that
// are no section lines.
TEST_F(SectionSearch, SectionsFoundAheadThenBehindAndBetweenPlainLines) {
    kdx::xxoptions().verbose = 1;
    open("[schematic2]\nver 1\n[detail]\nw 1\nw 2\n[cell use]\nuse R\n[comments]\nc\n", false);
    std::string out;
    out += find("[detail]");
    out += find("[schematic2]"); // on to the end, then found again from the start
    out += find("[cell use]");
    kdx::xxbufinit(&kdx::xxlinebuf, 64);
    out += step("line", kdx::xxrdline(&kdx::xxlinebuf) != nullptr);
    out += find("[comments]");
    out += find("[detail]");
    out += step("line", kdx::xxrdline(&kdx::xxlinebuf) != nullptr);
    out += find("[comments]"); // from between "w 1" and "w 2"
    out += find("[tools]");
    const std::string a = kArghh;
    EXPECT_EQ(out, "find [detail] -> 1 at 28 line 4 next 119: {}\n"
                   "find [schematic2] -> 1 at 13 line 2 next 118: {" +
                       a + "[schematic2].\n}\n" +
                       "find [cell use] -> 1 at 47 line 7 next 117: {}\n"
                       "line -> 1 at 53 line 8 next 91: {}\n"
                       "find [comments] -> 1 at 64 line 9 next 99: {}\n"
                       "find [detail] -> 1 at 28 line 4 next 119: {" +
                       a + "[detail].\n}\n" +
                       "line -> 1 at 32 line 5 next 119: {}\n"
                       "find [comments] -> 1 at 64 line 9 next 99: {}\n"
                       "find [tools] -> 0 at 66 line 10 next -1: {" +
                       a + "[tools].\n}\n");
}

// A search from the middle of a line reads plainly; the search from the start that follows
// joins what it reads to what was known, and sections behind stay behind.
TEST_F(SectionSearch, SectionsBehindStayBehindAfterASearchFromTheMiddleOfALine) {
    kdx::xxoptions().verbose = 1;
    open("[schematic2]\nver 1\n[cell use]\n[comments]\n[comments]\n[detail]\nw 1\n", false);
    std::string out;
    out += find("[detail]");
    char word[16];
    out += step("word", kdx::xxrdstr(word, sizeof word) != nullptr);
    out += find("[absent]");
    out += find("[cell use]");
    kdx::xxbufinit(&kdx::xxlinebuf, 64);
    out += step("line", kdx::xxrdline(&kdx::xxlinebuf) != nullptr);
    out += find("[comments]");
    out += find("[cell use]");
    out += find("[schematic2]");
    const std::string a = kArghh;
    EXPECT_EQ(out, "find [detail] -> 1 at 61 line 7 next 119: {}\n"
                   "word -> 1 at 63 line 7 next 49: {}\n"
                   "find [absent] -> 0 at 65 line 8 next -1: {" +
                       a + "[absent].\n}\n" + "find [cell use] -> 1 at 30 line 4 next 91: {" + a +
                       "[cell use].\n}\n" +
                       "line -> 1 at 41 line 5 next 91: {}\n"
                       "find [comments] -> 1 at 52 line 6 next 91: {}\n"
                       "find [cell use] -> 1 at 30 line 4 next 91: {" +
                       a + "[cell use].\n}\n" + "find [schematic2] -> 1 at 13 line 2 next 118: {" +
                       a + "[schematic2].\n}\n");
}

// A pipe cannot be wound back: a section behind is not found again, as from any such stream.
TEST_F(SectionSearch, PipeIsReadOnceOnly) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string sheet = "[schematic2]\n[detail]\nw\n[cell use]\nu\n";
    ASSERT_EQ(write(ends[1], sheet.data(), sheet.size()), static_cast<ssize_t>(sheet.size()));
    close(ends[1]);
    in_ = keep(fdopen(ends[0], "r"));
    ASSERT_NE(in_, nullptr);
    ASSERT_EQ(kdx::xxfdopen(in_, "in.sch", kdx::XXK_SCHEMATIC, nullptr), kdx::XXK_SCHEMATIC);
    EXPECT_EQ(kdx::xxfindsection("[cell use]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 5);
    EXPECT_EQ(kdx::xxfindsection("[detail]"), 0);
    EXPECT_EQ(kdx::xxcurfile()->line, 1);
    EXPECT_EQ(kdx::xxpeek(), EOF);
}

// The search as a plain reading of the text: what every search, read and peek must do to
// position and line number, however the library gets there.
class PlainFile {
  public:
    explicit PlainFile(std::string text) : text_(std::move(text)) {}

    int peek() const { return pos_ < text_.size() ? static_cast<unsigned char>(text_[pos_]) : EOF; }
    std::size_t pos() const { return pos_; }
    int line() const { return line_; }
    int rewinds() const { return rewinds_; }

    void purgeline() {
        while (pos_ < text_.size())
            if (text_[pos_++] == '\n') {
                ++line_;
                return;
            }
    }

    bool readline() {
        if (pos_ >= text_.size()) return false;
        purgeline();
        if (text_[pos_ - 1] != '\n') ++line_; // the last line, unended, is counted too
        return true;
    }

    bool readword() {
        auto blank = [](int c) { return c == ' ' || c == '\t'; };
        auto eol = [](int c) { return c == '\n' || c == '\r'; };
        while (blank(peek()))
            ++pos_;
        std::size_t n = 0;
        while (peek() != EOF && !cf::isspacec(peek())) {
            ++pos_;
            ++n;
        }
        if (peek() != EOF && !eol(peek())) ++pos_;
        return n > 0;
    }

    bool findsection(const std::string &section) {
        if (cf::strcieql(section_.c_str(), section.c_str())) return true;
        if (!findline(section)) {
            pos_ = 0;
            line_ = 1;
            ++rewinds_;
            if (!findline(section)) return false;
        }
        section_ = section;
        return true;
    }

  private:
    bool findline(const std::string &text) {
        for (;;) {
            const int c = peek();
            if (c == EOF) return false;
            ++pos_;
            if (c != text[0]) {
                if (c == '\n')
                    ++line_;
                else
                    purgeline();
                continue;
            }
            if (peek() == EOF) return false;
            std::string rest;
            while (peek() != EOF && peek() != '\n')
                if (text_[pos_++] != '\r') rest += text_[pos_ - 1];
            if (peek() == '\n') ++pos_;
            ++line_;
            while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t'))
                rest.pop_back();
            if (cf::strcieql(rest.c_str(), text.c_str() + 1)) return true;
        }
    }

    std::string text_;
    std::size_t pos_ = 13; // behind the header line
    int line_ = 2;
    int rewinds_ = 0;
    std::string section_ = "[schematic2]";
};

// Random files of section lines, near misses and body lines, read by random searches, reads
// and peeks: every step ends where the plain reading ends, with its line number and messages.
TEST_F(SectionSearch, AnySequenceOfSearchesAndReadsEndsWhereAPlainReadingEnds) {
    static const char *const pieces[] = {
        "[detail]\n",
        "[DETAIL]  \n",
        "[cell use]\r\n",
        "[tools]\n",
        "\n",
        "w 1\n",
        "  x y\n",
        "[x\n",
        "[\n",
        "ab\r\n",
        "[comments] \n",
        "\t[tools]\n",
        "x",
        "[",
        "[cell use]",
    };
    static const char *const sections[] = {"[detail]",     "[cell use]", "[tools]", "[comments]",
                                           "[schematic2]", "[absent]",   "[x"};
    kdx::xxoptions().verbose = 1;
    std::mt19937 random(20261207);
    for (int round = 0; round < 1000; ++round) {
        std::string text = "[schematic2]\n";
        for (int n = random() % 12; n > 0; --n)
            text += pieces[random() % std::size(pieces)];
        open(text, round % 2 == 0);
        PlainFile plain(text);
        for (int op = 0; op < 40; ++op) {
            const int what = random() % 9;
            std::string did;
            bool got = false, want = false;
            if (what < 4) {
                const char *section = sections[random() % std::size(sections)];
                did = std::string("find ") + section;
                got = kdx::xxfindsection(section) != 0;
                want = plain.findsection(section);
            } else if (what == 4) {
                did = "line";
                kdx::xxbufinit(&kdx::xxlinebuf, 64);
                got = kdx::xxrdline(&kdx::xxlinebuf) != nullptr;
                want = plain.readline();
            } else if (what == 5 || what == 6) {
                did = "word";
                char word[64];
                got = kdx::xxrdstr(word, sizeof word) != nullptr;
                want = plain.readword();
            } else if (what == 7) {
                did = "purge";
                kdx::xxpurgeline();
                plain.purgeline();
            } else {
                did = "peek";
                got = kdx::xxpeek() != EOF;
                want = plain.peek() != EOF;
            }
            const kdx::filerec *f = kdx::xxcurfile();
            SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(op) + " " +
                         did + " in:\n" + text);
            ASSERT_EQ(got, want);
            ASSERT_EQ(kdx::xxftell(*f), static_cast<long long>(plain.pos()));
            ASSERT_EQ(f->line, plain.line());
            ASSERT_EQ(kdx::xxpeek(), plain.peek());
        }
        const std::string log = fresh();
        int rewinds = 0;
        for (std::size_t at = 0; (at = log.find(kArghh, at)) != std::string::npos; ++at)
            ++rewinds;
        EXPECT_EQ(rewinds, plain.rewinds()) << text;
    }
}

// A file of our own is searched from memory, a caller's stream on the disk: over a file several
// times the stream buffer, the same searches and reads end in the same places either way.
TEST_F(SectionSearch, LargeFilesReadFromMemoryEndWhereTheDiskStreamEnds) {
    std::string text = "[schematic2]\n";
    std::mt19937 random(7);
    static const char *const names[] = {"[detail]", "[cell use]", "[comments]", "[tools]"};
    while (text.size() < 5 * kdx::XXFILEBUF) {
        text += names[random() % std::size(names)];
        text += "\n";
        for (int n = random() % 400; n > 0; --n)
            text += "w " + std::to_string(random()) + " x y\n";
    }
    std::vector<std::string> runs;
    for (const bool ours : {true, false}) {
        open(text, ours);
        std::mt19937 steps(11);
        std::string out;
        for (int op = 0; op < 300; ++op) {
            kdx::xxbufinit(&kdx::xxlinebuf, 64);
            const int got = steps() % 3 == 0
                                ? kdx::xxrdline(&kdx::xxlinebuf) != nullptr
                                : kdx::xxfindsection(names[steps() % std::size(names)]);
            out += step(std::to_string(op), got);
        }
        runs.push_back(out);
        kdx::xxfdclose();
    }
    EXPECT_EQ(runs[0], runs[1]);
}

// A section line too long for the line buffer is reported by every search that reads it, also
// by the one that follows a search that failed; from a caller's stream and from memory alike.
TEST_F(SectionSearch, OverlongSectionLineIsReportedByEverySearchThatReadsIt) {
    const std::string sheet =
        "[schematic2]\n[detail]\n" + std::string("[") + std::string(1100, 'z') + "\n[cell use]\n";
    auto count = [](const std::string &log) {
        int n = 0;
        for (std::size_t at = 0; (at = log.find("Line too long", at)) != std::string::npos; ++at)
            ++n;
        return n;
    };
    for (const bool ours : {false, true}) {
        SCOPED_TRACE(ours ? "from memory" : "caller's stream");
        open(sheet, ours);
        EXPECT_EQ(kdx::xxfindsection("[tools]"), 0); // forward and from the start: read twice
        EXPECT_EQ(count(fresh()), 2);
        EXPECT_EQ(kdx::xxfindsection("[cell use]"), 1);
        EXPECT_EQ(count(fresh()), 1);
        EXPECT_EQ(kdx::xxfindsection("[detail]"), 1);
        EXPECT_THAT(fresh(), IsEmpty());
        EXPECT_EQ(kdx::xxfindsection("[cell use]"), 1);
        EXPECT_EQ(count(fresh()), 1);
        EXPECT_EQ(kdx::xxcurfile()->line, 5);
        kdx::xxfdclose();
    }
}

// What was learnt about one file is never applied to the next one on the same stream, nor to
// the file of the other record.
TEST_F(SectionSearch, ReopenedStreamAndOtherRecordAreSearchedAfresh) {
    open("[schematic2]\n[detail]\nw\n[cell use]\n", false);
    EXPECT_EQ(kdx::xxfindsection("[tools]"), 0);
    EXPECT_EQ(kdx::xxfindsection("[detail]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 3);

    open("[schematic2]\nver 1\nver 2\n[cell use]\n[tools]\nt\n[detail]\n", false);
    EXPECT_EQ(kdx::xxfindsection("[tools]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 6);
    EXPECT_EQ(kdx::xxfindsection("[detail]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 8);
    EXPECT_EQ(kdx::xxfindsection("[cell use]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 5);
    EXPECT_EQ(std::ftell(in_), 36);

    kdx::xxusefile(kdx::XXFILE_SECONDARY);
    open("[symbol2]\n\n\n\n[attributes]\n", false, &other_, kdx::XXK_SYMBOL);
    EXPECT_EQ(kdx::xxfindsection("[tools]"), 0);
    EXPECT_EQ(kdx::xxfindsection("[detail]"), 0);
    EXPECT_EQ(kdx::xxfindsection("[attributes]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 6);
    kdx::xxfdclose();

    kdx::xxusefile(kdx::XXFILE_PRIMARY);
    EXPECT_EQ(kdx::xxcurfile()->line, 5); // left where it stood
    EXPECT_EQ(kdx::xxfindsection("[attributes]"), 0);
    EXPECT_EQ(kdx::xxfindsection("[tools]"), 1);
    EXPECT_EQ(kdx::xxcurfile()->line, 6);
    EXPECT_EQ(std::ftell(in_), 44);
}

} // namespace
