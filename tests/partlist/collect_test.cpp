// Part collection over object graphs built directly: equal parts, categories, property texts,
// and placement counts over a hierarchy.
#include "partlistint.h"

#include "cfkdx/objmodel.h"
#include "support/testsupport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using objmodel::Props;

class Collect : public objmodel::ObjModelTest {
  protected:
    void SetUp() override {
        ObjModelTest::SetUp();
        partlist::runopts().proplen = 40;
        partlist::runopts().pagelen = 66;
        setletters("dic");
        ASSERT_NE(out_.file(), nullptr);
        partlist::setreport(out_.file());
        top = kdx::xxnewnetdef("top.sch", nullptr);
        res = mkdef("res.sym", {"1", "2"}, {{"primitive", "R"}});
        cap = mkdef("cap.sym", {"1", "2"}, {{"primitive", "C"}});
    }

    void TearDown() override {
        partlist::freecollect();
        partlist::freereport();
        partlist::setreport(nullptr);
        partlist::clearMap();
        if (!mapfile_.empty()) std::remove(mapfile_.c_str());
        ObjModelTest::TearDown();
    }

    static void setletters(const char *letters) {
        partlist::runopts().letters = letters;
        partlist::runopts().reportname = nullptr;
        partlist::keepoptvalues();
    }

    void map(const char *text) {
        mapfile_ = testsupport::tempfile("/tmp/partlist_collectXXXXXX", text);
        ASSERT_FALSE(mapfile_.empty());
        partlist::initializeMap(mapfile_.c_str());
    }

    // A part whose property table starts with two entries the part list passes over.
    kdx::symbol *part(kdx::net *n, kdx::symdef *d, const char *name, const char *value) {
        return place(n, d, name, {{"id", name}, {"x", "0"}, {"VALUE", value}});
    }

    std::string report() { return out_.text(); }

    // The NAME, PROPERTY, DESCRIPTION and QTY columns of every part line, trimmed.
    std::vector<std::string> lines() {
        std::vector<std::string> out;
        std::string all = report();
        std::size_t at = 0;
        while (at < all.size()) {
            std::size_t end = all.find('\n', at);
            std::string line = all.substr(at, end - at);
            at = end + 1;
            if (line.compare(0, 19, std::string(18, ' ') + "\t") != 0) {
                out.push_back(trim(line));
                continue;
            }
            std::string cols;
            std::size_t p = 19;
            while (p <= line.size()) {
                std::size_t tab = line.find('\t', p);
                if (tab == std::string::npos) tab = line.size();
                if (!cols.empty()) cols += "|";
                cols += trim(line.substr(p, tab - p));
                p = tab + 1;
            }
            out.push_back(cols);
        }
        return out;
    }

    static std::string trim(const std::string &s) {
        std::size_t b = s.find_first_not_of(' ');
        std::size_t e = s.find_last_not_of(' ');
        return b == std::string::npos ? "" : s.substr(b, e - b + 1);
    }

    kdx::net *top = nullptr;
    kdx::symdef *res = nullptr;
    kdx::symdef *cap = nullptr;
    testsupport::Capture out_;
    std::string mapfile_;
};

TEST_F(Collect, EqualPartsShareAnEntryAndDifferentTextsFollowInOrderMet) {
    kdx::symbol *r1 = part(top, res, "R1", "22k");
    kdx::symbol *r2 = part(top, res, "R2", "10k");
    kdx::symbol *r3 = part(top, res, "R3", "22k");
    kdx::symbol *c1 = part(top, cap, "C1", "1u");
    partlist::ListHead *list = nullptr;
    for (kdx::symbol *s : {r1, r2, r3, c1, r2})
        static_cast<partlist::PartEntry *>(
            partlist::addlist(&list, kdx::xxsympart(s), sizeof(partlist::PartEntry), 0, s))
            ->count++;
    std::vector<std::string> got;
    for (partlist::ListEntry *e = list->next; e != list; e = e->next)
        got.push_back(std::string(e->key) + ":" +
                      static_cast<partlist::PartEntry *>(e)->properties +
                      std::to_string(static_cast<partlist::PartEntry *>(e)->count));
    EXPECT_EQ(got, (std::vector<std::string>{"C:1u;1", "R:22k;2", "R:10k;2"}));
    partlist::freelist(&list);
}

TEST_F(Collect, SheetListsCategoriesThenOtherParts) {
    map("discrete R Resistor\nControl K Relay\nPassive C Capacitor\nElectrical L Coil\n");
    kdx::symdef *relay = mkdef("relay.sym", {"1"}, {{"primitive", "K"}});
    kdx::symdef *coil = mkdef("coil.sym", {"1"}, {{"primitive", "L"}});
    kdx::symdef *diode = mkdef("diode.sym", {"1"}, {{"primitive", "D"}});
    for (const char *n : {"R1", "R2", "R3"})
        part(top, res, n, "10k");
    part(top, res, "R4", "22k");
    part(top, relay, "K1", "");
    part(top, cap, "C1", "1u");
    part(top, coil, "L1", "1m");
    part(top, diode, "D1", "");
    partlist::addparts(top, nullptr);
    // Discrete is matched without case; an unknown category keeps its description in Other;
    // Electrical is not among the default letters.
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "top.sch",
                           "Discrete",
                           "R|10k;|Resistor|3",
                           "R|22k;|Resistor|1",
                           "Control",
                           "K||Relay|1",
                           "C|1u;|Capacitor|1",
                           "D|||1",
                       }));
}

TEST_F(Collect, LettersChooseAndOrderTheGroups) {
    map("Discrete R Resistor\nControl K Relay\n");
    kdx::symdef *relay = mkdef("relay.sym", {"1"}, {{"primitive", "K"}});
    part(top, res, "R1", "1k");
    part(top, relay, "K1", "");
    part(top, cap, "C1", "");
    setletters("cxii");
    partlist::addparts(top, nullptr);
    EXPECT_EQ(lines(), (std::vector<std::string>{"top.sch", "Control", "K||Relay|1", "Discrete",
                                                 "R|1k;|Resistor|1", "Discrete", "R|1k;|Resistor|1",
                                                 "C|||1"}));
}

TEST_F(Collect, ValuesThatWouldFillThePropertyWidthAreSkipped) {
    partlist::runopts().proplen = 10;
    place(top, res, "R1",
          {{"id", "R1"}, {"x", "0"}, {"A", "abcdef"}, {"B", "ghijk"}, {"C", "xy"}, {"D", "z"}});
    partlist::addparts(top, nullptr);
    EXPECT_EQ(lines(), (std::vector<std::string>{"top.sch", "R|abcdef;xy;||1"}));

    // A width beyond the entry's room stops at the room.
    partlist::runopts().proplen = 1000;
    kdx::symbol *wide = place(top, res, "R2",
                              {{"id", "R2"},
                               {"x", "0"},
                               {"A", std::string(150, 'a').c_str()},
                               {"B", std::string(60, 'b').c_str()},
                               {"C", "c"}});
    EXPECT_EQ(std::string(partlist::propkey(wide)), std::string(150, 'a') + ";c;");
}

TEST_F(Collect, SubSheetsAreListedOnceWithTheirPlacementCount) {
    // top places amp twice and mid twice; mid places amp once: amp is placed four times.
    kdx::symdef *ampdef = mkdef("amp.sch", {});
    kdx::symdef *middef = mkdef("mid.sch", {});
    kdx::symdef *editdef = mkdef("edit.sch", {}, {{"primitive", "*subedit*"}});
    kdx::symbol *a1 = place(top, ampdef, "A1");
    place(top, ampdef, "A2");
    kdx::symbol *m1 = place(top, middef, "M1");
    place(top, middef, "M2");
    kdx::symbol *e1 = place(top, editdef, "E1");
    kdx::net *amp = kdx::xxsymnetdescr(a1);
    kdx::net *mid = kdx::xxsymnetdescr(m1);
    kdx::net *edit = kdx::xxsymnetdescr(e1);
    ASSERT_NE(amp, nullptr);
    ASSERT_NE(mid, nullptr);
    ASSERT_NE(edit, nullptr);
    addprop(amp, "file", "./amp.sch");
    addprop(mid, "file", "./mid.sch");
    addprop(edit, "file", "./edit.sch");
    place(mid, ampdef, "A3");
    part(amp, res, "R1", "1k");
    part(amp, res, "R2", "1k");
    part(mid, cap, "C1", "");
    part(top, cap, "C9", "");

    partlist::countsheets(top);
    partlist::clearparent();
    partlist::listsheets(top);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           "top.sch",
                           "C|||1",
                           "amp.sch|||2",
                           "edit.sch|||1",
                           "mid.sch|||2",
                           "",
                           "amp.sch",
                           "R|1k;||8",
                           "",
                           "mid.sch",
                           "C|||2",
                           "amp.sch|||2",
                       }));
}

TEST_F(Collect, NetsNotReadFromADesignOrSchematicAreLeftOut) {
    part(top, res, "R1", "1k");
    top->flags = 0x200;
    partlist::countsheets(top);
    partlist::listsheets(top);
    partlist::addparts(nullptr, nullptr);
    EXPECT_EQ(report(), "");
}

TEST_F(Collect, TracedWalksAskTheLibraryAtEveryPlacement) {
    // top places amp twice. Under -xxtrace the walks ask for the symbols of a sheet at each
    // placement, exactly as often as without the per-run answers: top 2 + amp 2 x 2 while
    // counting, top 3 + amp 3 + amp 1 while listing.
    kdx::symdef *ampdef = mkdef("amp.sch", {});
    kdx::symbol *a1 = place(top, ampdef, "A1");
    place(top, ampdef, "A2");
    kdx::net *amp = kdx::xxsymnetdescr(a1);
    ASSERT_NE(amp, nullptr);
    addprop(amp, "file", "./amp.sch");
    part(amp, res, "R1", "1k");
    part(amp, res, "R2", "1k");
    part(top, cap, "C9", "");
    const std::vector<std::string> want{"top.sch", "C|||1",   "amp.sch|||2",
                                        "",        "amp.sch", "R|1k;||4"};

    kdx::xxoptions().trace = 1;
    partlist::countsheets(top);
    partlist::clearparent();
    partlist::listsheets(top);
    kdx::xxoptions().trace = 0;
    EXPECT_EQ(count("xxsymtbl"), 13);
    // Each listed part's property table is asked twice: for its key and for its entry's text.
    EXPECT_EQ(count("xxproptbl"), 6);
    EXPECT_EQ(lines(), want);
}

TEST_F(Collect, WalkAnswersEndWithTheRun) {
    // The same design walked twice, released and rebuilt in between: the second walk must not
    // see the first design (its records may well sit at the same addresses).
    kdx::symdef *ampdef = mkdef("amp.sch", {});
    kdx::net *amp = kdx::xxsymnetdescr(place(top, ampdef, "A1"));
    ASSERT_NE(amp, nullptr);
    addprop(amp, "file", "./amp.sch");
    part(amp, res, "R1", "1k");
    partlist::countsheets(top);
    partlist::clearparent();
    partlist::listsheets(top);
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"top.sch", "amp.sch|||1", "", "amp.sch", "R|1k;||1"}));

    partlist::freecollect();
    kdx::xxfreeall();
    kdx::xxinit();
    const std::size_t before = out_.size();
    kdx::net *top2 = kdx::xxnewnetdef("top.sch", nullptr);
    kdx::symdef *cap2 = mkdef("cap.sym", {"1", "2"}, {{"primitive", "C"}});
    part(top2, cap2, "C1", "1u");
    part(top2, cap2, "C2", "1u");
    partlist::countsheets(top2);
    partlist::clearparent();
    partlist::listsheets(top2);
    EXPECT_EQ(out_.text().substr(before), "\ntop.sch" + std::string(13, ' ') + "\n" +
                                              std::string(18, ' ') + "\tC" + std::string(13, ' ') +
                                              "\t1u;" + std::string(31, ' ') + "\t" +
                                              std::string(35, ' ') + "\t    2\n");
}

TEST_F(Collect, SheetsOfOneCellNameShareTheirVisits) {
    // amp.sch and amp.old are both the cell "amp": subcount takes every sheet entry of that
    // name in list order, so the first placement already finds two visits and neither sheet
    // lists its parts; only the block lines of top remain.
    kdx::symdef *newdef = mkdef("amp.sch", {});
    kdx::symdef *olddef = mkdef("amp.old", {});
    kdx::net *ampnew = kdx::xxsymnetdescr(place(top, newdef, "A1"));
    kdx::net *ampold = kdx::xxsymnetdescr(place(top, olddef, "B1"));
    ASSERT_NE(ampnew, nullptr);
    ASSERT_NE(ampold, nullptr);
    addprop(ampnew, "file", "./amp.sch");
    addprop(ampold, "file", "./amp.old");
    part(ampnew, res, "R1", "1k");
    part(ampold, cap, "C1", "1u");
    partlist::countsheets(top);
    partlist::clearparent();
    partlist::listsheets(top);
    EXPECT_EQ(lines(), (std::vector<std::string>{"top.sch", "amp.old|||1", "amp.sch|||1"}));
}

// A hierarchy of many sheets, each with parts of its own, so that the printing helper gets
// many batches and the walk has to wait for room.
class ManySheets : public Collect {
  protected:
    void SetUp() override {
        Collect::SetUp();
        partlist::runopts().pagelen = 1'000'000; // no page filling: runs compare as they stand
        // The first heading of the process is written without the empty line before it; it is
        // used up here so that every walk writes the same.
        partlist::printsheet("start");
        char name[32];
        for (int i = 0; i < SHEETS; ++i) {
            std::snprintf(name, sizeof name, "s%d.sch", i);
            kdx::symdef *sheetdef = mkdef(name, {});
            std::snprintf(name, sizeof name, "S%d", i);
            kdx::net *sheet = kdx::xxsymnetdescr(place(top, sheetdef, name));
            ASSERT_NE(sheet, nullptr);
            std::snprintf(name, sizeof name, "./s%d.sch", i);
            addprop(sheet, "file", name);
            std::snprintf(name, sizeof name, "p%d.sym", i);
            kdx::symdef *own = mkdef(name, {"1"}, {{"primitive", name + 1}});
            part(sheet, own, "U1", "1k");
            part(sheet, res, "R1", std::to_string(i).c_str());
        }
    }

    // The report a walk adds, printed beside the walk or (without `beside`) in turn.
    std::string walk(bool beside) {
        const std::size_t before = out_.size();
        if (beside) partlist::startprinting();
        partlist::countsheets(top);
        partlist::clearparent();
        partlist::listsheets(top);
        if (beside) partlist::finishprinting();
        return out_.text().substr(before);
    }

    static constexpr int SHEETS = 300;
};

TEST_F(ManySheets, PrintingBesideTheWalkWritesWhatPrintingInTurnWrites) {
    const std::string beside = walk(true);
    partlist::freecollect();
    const std::string inturn = walk(false);
    ASSERT_NE(beside.find("s299.sch"), std::string::npos);
    EXPECT_EQ(inturn, beside);
}

TEST_F(ManySheets, AnAbandonedRunKeepsAnOrderedBeginningOfTheReport) {
    const std::size_t before = out_.size();
    partlist::startprinting();
    partlist::countsheets(top);
    partlist::clearparent();
    partlist::listsheets(top);
    partlist::stopprinting(); // the jobs not yet printed are released unprinted
    const std::string cut = out_.text().substr(before);
    partlist::freecollect();

    const std::string whole = walk(false);
    ASSERT_LE(cut.size(), whole.size());
    EXPECT_EQ(whole.substr(0, cut.size()), cut);

    // The next run starts a helper of its own.
    partlist::freecollect();
    EXPECT_EQ(walk(true), whole);
}

} // namespace
