// Schematic and symbol-file reading: hand-written files under tests/data/sch_* loaded through the
// read driver or straight through xxfdopen + xxrdsch, checked in the object model and the log.

#include "kdx.h"
#include "kdxint.h"
#include "support/kdxsupport.h"
#include "support/testsupport.h"

#include "cfpath.h"
#include "platform/ui.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace kdx;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::vector<std::string> boxes; // "caption|text" of every message box shown

int noopen(void *, const char *, int, int, int, char *name, int size) {
    if (size > 0) name[0] = '\0';
    return 0;
}
int recordbox(void *, const char *caption, int, const char *text, int, int, int) {
    boxes.push_back(std::string(caption) + "|" + text);
    return 0;
}
const platform::UiBackend recordingui{noopen, recordbox};

constexpr int PARTLIST_READ = XXR_DSNSCH | XXR_NOWIRING; // the read flags of a part-list run
constexpr int WIRED = XXR_DSNSCH;                        // the same with the wiring passes

class SchematicRead : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(log.file(), nullptr);
        xxsetlog(log.file());
        boxes.clear();
        platform::SetUiBackend(&recordingui);
    }
    void TearDown() override {
        xxfreeall();
        xxsetlog(stderr);
        platform::SetUiBackend(nullptr);
    }

    static std::string data(const char *dir) { return std::string(PARTLIST_TEST_DATA) + "/" + dir; }

    // Loads a design with the read driver, its search path set to one data folder.
    net *load(const char *dir, const char *name, int flags = WIRED) {
        cf::PSetPath(data(dir).c_str());
        return xxreadfile(nullptr, name, nullptr, flags);
    }

    // Reads one schematic file without the driver; the result is xxrdsch's.
    int readone(const char *dir, const char *name, int flags = WIRED) {
        cf::PSetPath(data(dir).c_str());
        xxinit();
        xxgetroot()->opts = static_cast<std::uint32_t>(flags);
        net *n = xxnewnetdef(name, nullptr);
        xxsetcurnet(n);
        const char *path = nullptr;
        if (xxfdopen(nullptr, name, XXK_SCHEMATIC, &path) == 0) return -1;
        xxlinkprop(n, xxalprop(1, "file", path), 2);
        int r = xxrdsch();
        xxfdclose();
        return r;
    }

    std::string logtext() { return log.text(); }

    static std::vector<std::string> symbolnames(net *n) {
        std::vector<std::string> names;
        symbol *cur = nullptr;
        while (xxnsym(n, &cur))
            names.push_back(cur->name ? cur->name : "(none)");
        return names;
    }

    static std::string value(void *obj, const char *name) {
        return testsupport::propvalue(obj, name);
    }
    static std::vector<std::string> qualifiers(const prop *p) { return testsupport::qualifiers(p); }

    static std::string nodename(void *port) {
        node *nd = port ? xxportnode(port) : nullptr;
        return nd && nd->name ? nd->name : "(none)";
    }

    testsupport::Capture log;
};

TEST_F(SchematicRead, HierarchyReadsIntoObjectModelFromLfAndCrLfFiles) {
    for (const char *name : {"top", "topcrlf"}) {
        SCOPED_TRACE(name);
        net *top = load("sch_basic", name);
        ASSERT_NE(top, nullptr) << logtext();
        EXPECT_EQ(symbolnames(top), (std::vector<std::string>{"R1", "C1", "U1"}));

        symbol *r1 = xxfsym(top, "R1", 0);
        symbol *c1 = xxfsym(top, "C1", 0);
        symbol *u1 = xxfsym(top, "U1", 0);
        ASSERT_TRUE(r1 && c1 && u1);
        EXPECT_STREQ(r1->def->name, "res");
        EXPECT_EQ(r1->def->flags & (SDEFF_READ | SDEFF_FAILED), SDEFF_READ);
        EXPECT_EQ(r1->def->nports, 2);
        EXPECT_TRUE(r1->flags & SYMF_ARRAY);
        EXPECT_STREQ(xxsympart(r1), "XR");
        EXPECT_STREQ(xxsympart(c1), "C");
        EXPECT_EQ(value(r1, "value"), "10k");
        EXPECT_EQ(value(u1, "gain"), "5");
        EXPECT_THAT(qualifiers(xxfindprop(c1, "xform", 0)),
                    ::testing::ElementsAre("orn:0", "tx:1", "ty:2"));

        // The schematic's own ports and its attributes.
        EXPECT_EQ(top->nports, 2);
        EXPECT_EQ(value(top, "ver"), "3");
        EXPECT_EQ(value(top, "uniq"), "(none)"); // kept for back-annotation only

        // Wires join symbol pins and schematic ports; open pins get nodes of their own.
        // Wire N1 meets the schematic port IN, whose node keeps its name.
        EXPECT_EQ(nodename(xxfsp(r1, "a", 0)), "IN");
        EXPECT_EQ(xxportnode(xxfndp(top, "IN")), xxportnode(xxfsp(r1, "a", 0)));
        EXPECT_EQ(nodename(xxfsp(r1, "b", 0)), "N2");
        EXPECT_EQ(xxportnode(xxfsp(c1, "a", 0)), xxportnode(xxfsp(r1, "b", 0)));
        EXPECT_EQ(xxportnode(xxfsp(c1, "b", 0)), xxportnode(xxfndp(top, "OUT")));
        EXPECT_EQ(nodename(xxfsp(u1, "IN", 0)), "N4");
        EXPECT_THAT(nodename(xxfsp(u1, "OUT", 0)), HasSubstr("f#"));
        EXPECT_EQ(nodename(xxfsp(u1, "VDD", 0)), "VCC"); // hidden pin, "connect" property

        // The hierarchical symbol's definition came from its symbol file; its cell was read.
        EXPECT_THAT(value(u1->def, "file"), HasSubstr("amp.sym"));
        EXPECT_TRUE(xxfsdp(u1->def, "VDD")->flags & PORTF_HIDDEN);
        ASSERT_NE(u1->instnet, nullptr);
        EXPECT_TRUE(u1->instnet->flags & NETF_READ);
        EXPECT_THAT(value(u1->instnet, "file"), HasSubstr("amp.sch"));
        EXPECT_EQ(symbolnames(u1->instnet), (std::vector<std::string>{"R9"}));

        // "use amp ... U1 1" marks U1 inactive in this file: the part list leaves it out.
        EXPECT_EQ(xxexcluded("U1", value(top, "file").c_str()), 1);
        EXPECT_EQ(xxexcluded("R1", value(top, "file").c_str()), 0);
        EXPECT_EQ(xxsymtbl(top, nullptr, nullptr, 0), 2);

        EXPECT_THAT(logtext(), Not(HasSubstr("error")));
        xxfreeall();
        xxclrexcl();
    }
}

TEST_F(SchematicRead, PartListReadSkipsTheWiringPasses) {
    net *top = load("sch_basic", "top", PARTLIST_READ);
    ASSERT_NE(top, nullptr) << logtext();
    EXPECT_EQ(symbolnames(top), (std::vector<std::string>{"R1", "C1", "U1"}));
    EXPECT_EQ(top->nports, 0);
    EXPECT_EQ(top->firstsym->parray, nullptr); // no part asked for a port: none has its array
    EXPECT_EQ(xxsymarray(top->firstsym)[0].pnode, nullptr);
    EXPECT_EQ(xxsymtbl(top, nullptr, nullptr, 0), 2);
}

TEST_F(SchematicRead, PlacementWordsAndPointsAreKeptOnlyForBackAnnotation) {
    ASSERT_EQ(readone("sch_basic", "top", PARTLIST_READ), 1) << logtext();
    net *plain = xxcurnet();
    rport *in = plain->firstrport;
    ASSERT_NE(in, nullptr);
    EXPECT_STREQ(in->name, "IN");
    EXPECT_EQ(value(in, "IO"), "in");
    EXPECT_EQ(value(in, "group"), "g");
    EXPECT_EQ(value(in, "X"), "(none)");
    EXPECT_TRUE(qualifiers(xxfindprop(in, "id", 0)).empty());
    EXPECT_EQ(value(in, "connectortype"), "hier"); // the "p" line after the port
    ASSERT_NE(plain->firstwire, nullptr);
    EXPECT_EQ(plain->firstwire->points, nullptr);
    xxfreeall();

    ASSERT_EQ(readone("sch_basic", "top", PARTLIST_READ | XXR_GRAPHICS), 1) << logtext();
    net *kept = xxcurnet();
    in = kept->firstrport;
    EXPECT_EQ(value(in, "X"), "5");
    EXPECT_EQ(value(in, "Y"), "6");
    EXPECT_THAT(qualifiers(xxfindprop(in, "id", 0)),
                ::testing::ElementsAre("tx:10", "ty:20", "scale:1", "rot:0"));
    EXPECT_EQ(value(kept, "uniq"), "7");
    const point *pt = kept->firstwire->points;
    ASSERT_NE(pt, nullptr);
    EXPECT_EQ(pt->x, 100);
    EXPECT_EQ(pt->y, 200);
    ASSERT_NE(pt->next, nullptr);
    EXPECT_EQ(pt->next->y, 300);
    EXPECT_EQ(pt->next->next, nullptr);
}

TEST_F(SchematicRead, BusWiresConnectTheirFirstMembersAndWarnOnWidths) {
    ASSERT_EQ(readone("sch_bus", "bus"), 1) << logtext();
    net *n = xxcurnet();
    symbol *u1 = xxfsym(n, "U1", 0);
    ASSERT_NE(u1, nullptr);
    EXPECT_EQ(nodename(xxfsp(u1, "Q[0]", 0)), "D[0]");
    EXPECT_EQ(nodename(xxfsp(u1, "Q[1]", 0)), "D[1]");
    EXPECT_EQ(nodename(xxfndp(n, "D[3]")), "D[3]"); // beyond the port's width: left open
    EXPECT_EQ(n->nports, 7);                        // D[0] .. D[3], P1, P2, P3
    std::string text = logtext();
    EXPECT_THAT(text, HasSubstr("connection error (number of ports and nodes do not match):\n\t"
                                " symbol \"U1\", port \"Q[0:1]\", wire \"D[0:3]\""));
    // A frame's ports take wires of any width without a word.
    EXPECT_THAT(text, Not(HasSubstr("symbol \"F1\"")));
    EXPECT_EQ(nodename(xxfsp(xxfsym(n, "F1", 0), "C", 0)), "E[0]");

    // Connector types: an "off" prefix, an unknown value (warned, hier), a whole "probe",
    // and no property at all.
    EXPECT_EQ(xxfndp(n, "D[2]")->flags & 0xff00, PORTF_OFF);
    EXPECT_EQ(xxfndp(n, "P1")->flags & 0xff00, PORTF_HIER);
    EXPECT_EQ(xxfndp(n, "P2")->flags & 0xff00, PORTF_PROBE);
    EXPECT_EQ(xxfndp(n, "P3")->flags & 0xff00, PORTF_HIER);
    EXPECT_THAT(text, HasSubstr("unrecognized connectortype: bogus on port P1; using "
                                "connectortype:hier"));

    // "wire(A):B" on the null-model frame ties A's and B's nodes; on a primitive it is refused.
    symbol *f1 = xxfsym(n, "F1", 0);
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(xxportnode(xxfsp(f1, "A", 0)), xxportnode(xxfsp(f1, "B", 0)));
    EXPECT_EQ(nodename(xxfsp(f1, "B", 0)), "NA");
    EXPECT_THAT(text, HasSubstr("wire property on non-null symbol U1 ignored"));
}

TEST_F(SchematicRead, WiresToConnectorsMeetTheSchematicPortOfTheConnector) {
    ASSERT_EQ(readone("sch_bus", "conn"), 1) << logtext();
    net *n = xxcurnet();
    symbol *r1 = xxfsym(n, "R1", 0);
    symbol *r2 = xxfsym(n, "R2", 0);
    ASSERT_TRUE(r1 && r2);
    // A label: the wire lands on the schematic port named after the label.
    EXPECT_EQ(xxportnode(xxfsp(r1, "a", 0)), xxportnode(xxfndp(n, "L1")));
    EXPECT_EQ(nodename(xxfsp(r1, "a", 0)), "L1");
    // A wire-reference connector: its "pref" pin is a pin of the symbol, any other pin stands
    // for the schematic port.
    EXPECT_EQ(xxportnode(xxfsp(r1, "b", 0)), xxportnode(xxfsp(xxfsym(n, "W1", 0), "pref", 0)));
    EXPECT_EQ(xxportnode(xxfsp(r2, "a", 0)), xxportnode(xxfndp(n, "W1")));
    EXPECT_EQ(xxfndp(n, "W1")->flags & 0xff00, PORTF_HIER | PORTF_WREF);
    EXPECT_THAT(logtext(), Not(HasSubstr("must have exactly 1 port")));
}

TEST_F(SchematicRead, WireEndsNamingMissingObjectsFailTheSchematicAfterAllWires) {
    EXPECT_EQ(readone("sch_broken", "wires"), 0);
    std::string text = logtext();
    const std::string header =
        "schematic data base error (unconnected wires or symbols changed):\n\t";
    EXPECT_THAT(text, HasSubstr(header + " cannot find symbol \"R7\" connected to wire \"N1\""));
    EXPECT_THAT(text, HasSubstr(header + " cannot find port \"zz\" in symbol \"R1\""));
    EXPECT_THAT(text,
                HasSubstr(header + "cannot find schematic port \"NOPE\" connected to wire \"N3\""));
    // The wire after the failures is still connected.
    net *n = xxcurnet();
    EXPECT_EQ(xxportnode(xxfsp(xxfsym(n, "R1", 0), "b", 0)), xxportnode(xxfndp(n, "IN")));
}

struct BrokenCase {
    const char *file;     // schematic in sch_broken
    int result;           // what xxrdsch returns
    const char *severity; // how the line begins
    const char *message;  // how it ends
};

TEST_F(SchematicRead, BrokenSchematicsReportAndFail) {
    const BrokenCase cases[] = {
        {"nodetail", 0, "error: ", "cannot find [detail] section of file\n"},
        {"nocell", 0, "error: ", "cannot find [cell use] section of file\n"},
        {"unrec", 0, "error: ", "unrec.sch line 3 : unrecognized record in [detail] section\n"},
        {"fewwords", 0, "error: ", "fewwords.sch line 2 : bad format, too few words\n"},
        {"badformat", 0, "error: ", "badformat.sch line 5 : bad format\n"},
        {"blankline", 1, "warning: ", "end of file in [cell use] section\n"},
        {"nosym", 0, "error: ", "unable to open file nosuch.sym for reading\n"},
        {"badattr", 0,
         "error: ", "badattr.sym line 4 : unrecognized record in [attributes] section\n"},
        {"badhdr", 0, "error: ", "badhdr.sym : incorrect file header: [schematic2]\n"},
    };
    for (const BrokenCase &c : cases) {
        SCOPED_TRACE(c.file);
        const std::size_t start = log.size();
        EXPECT_EQ(readone("sch_broken", c.file), c.result);
        std::string text = logtext().substr(start);
        EXPECT_THAT(text, ::testing::StartsWith(c.severity));
        EXPECT_THAT(text, HasSubstr(c.message));
        xxfreeall();
    }
}

TEST_F(SchematicRead, RecordsAfterABadOneAreStillRead) {
    // The wire below the unknown record is made; the failed section stops the schematic.
    EXPECT_EQ(readone("sch_broken", "unrec"), 0);
    net *n = xxcurnet();
    EXPECT_NE(n->firstwire, nullptr);
    EXPECT_TRUE(symbolnames(n).empty());
    xxfreeall();

    // A blank line ends the section with a warning: R2 below it is not placed.
    EXPECT_EQ(readone("sch_broken", "blankline"), 1);
    EXPECT_EQ(symbolnames(xxcurnet()), (std::vector<std::string>{"R1"}));
}

TEST_F(SchematicRead, SymbolFileReadInsideASectionKeepsThatSectionsFailure) {
    // The bad record comes before a use whose symbol file is read on the spot; the failure of
    // the section must survive the symbol file's own (good) sections, and the property after
    // the use still belongs to the instance.
    EXPECT_EQ(readone("sch_broken", "reenter"), 0);
    net *n = xxcurnet();
    EXPECT_EQ(symbolnames(n), (std::vector<std::string>{"R1"}));
    EXPECT_EQ(value(n->firstsym, "value"), "1k");
    EXPECT_EQ(value(xxfindsymdef(nullptr, "res", 0), "value"), "(none)");
}

TEST_F(SchematicRead, UnreadableSymbolFileShowsOneMessageBoxAndPlacesTheInstances) {
    EXPECT_EQ(readone("sch_broken", "nosym"), 0);
    EXPECT_EQ(boxes, (std::vector<std::string>{"Open File Error|Symbol File:  nosuch"}));
    net *n = xxcurnet();
    EXPECT_EQ(symbolnames(n), (std::vector<std::string>{"X1", "X2"}));
    EXPECT_TRUE(xxfindsymdef(nullptr, "nosuch", 0)->flags & SDEFF_FAILED);
}

TEST_F(SchematicRead, FailedSymbolSectionLeavesTheDefinitionFailed) {
    EXPECT_EQ(readone("sch_broken", "badattr"), 0);
    symdef *def = xxfindsymdef(nullptr, "badattr", 0);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->flags & (SDEFF_READ | SDEFF_FAILED), SDEFF_FAILED);
    EXPECT_EQ(boxes.size(), 1u);
    // Its ports are declared all the same, so a later use finds what it names.
    EXPECT_NE(xxfsdp(def, "a"), nullptr);
}

TEST_F(SchematicRead, SymbolDefinitionReadDirectly) {
    cf::PSetPath(data("sch_basic").c_str());
    xxinit();
    // "@D" marks a definition that stands for a design: its symbol file has the plain name.
    symdef *amp = xxnewsymdef(nullptr, "amp@D");
    EXPECT_EQ(xxrdsymdef(nullptr, amp, 0), 1) << logtext();
    EXPECT_EQ(amp->flags & (SDEFF_READ | SDEFF_FAILED), SDEFF_READ);
    EXPECT_EQ(amp->nports, 3);

    // Without placement words kept, "bbox" still gets its four corners.
    symdef *res = xxnewsymdef(nullptr, "res");
    ASSERT_EQ(xxrdsymdef(nullptr, res, 0), 1);
    EXPECT_THAT(qualifiers(xxfindprop(res, "bbox", 0)),
                ::testing::ElementsAre("llx:0", "lly:0", "urx:10", "ury:20"));
    EXPECT_EQ(value(res, "primitive"), "R");
    EXPECT_TRUE(res->flags & SDEFF_PRIM);

    // Missing under the quiet bit: no message, neither read nor failed, so a later use retries.
    symdef *ghost = xxnewsymdef(nullptr, "ghost");
    std::size_t before = logtext().size();
    EXPECT_EQ(xxrdsymdef(nullptr, ghost, XXK_QUIET), 0);
    EXPECT_EQ(ghost->flags & (SDEFF_READ | SDEFF_FAILED), 0);
    EXPECT_EQ(logtext().size(), before);
    EXPECT_EQ(xxrdsymdef(nullptr, ghost, 0), 0);
    EXPECT_TRUE(ghost->flags & SDEFF_FAILED);
}

TEST_F(SchematicRead, SymbolLineSectionsAreRequiredWithTheLinesOption) {
    cf::PSetPath(data("sch_broken").c_str());
    xxinit();
    symdef *plain = xxnewsymdef(nullptr, "nolayers");
    EXPECT_EQ(xxrdsymdef(nullptr, plain, 0), 1);
    xxfreeall();

    xxinit();
    xxgetroot()->opts = XXR_SYMLINES;
    symdef *lines = xxnewsymdef(nullptr, "nolayers");
    EXPECT_EQ(xxrdsymdef(nullptr, lines, 0), 0);
    EXPECT_TRUE(lines->flags & SDEFF_FAILED);
    EXPECT_THAT(logtext(), HasSubstr("cannot find [layers] section of file"));

    // A file that has them reads with the option.
    cf::PSetPath(data("sch_basic").c_str());
    symdef *amp = xxnewsymdef(nullptr, "amp");
    EXPECT_EQ(xxrdsymdef(nullptr, amp, 0), 1) << logtext();
}

TEST_F(SchematicRead, SymbolFileIsReadOnceAndTheSchematicStaysPositioned) {
    xxoptions().verbose = 1;
    // R1 and R2 use the same definition: one symbol file is read in the middle of R1's line,
    // and the schematic goes on with the rest of that line and the records below it.
    ASSERT_EQ(readone("sch_basic", "twice"), 1) << logtext();
    EXPECT_THAT(logtext(), HasSubstr("sub-cells (1/"));
    net *n = xxcurnet();
    EXPECT_EQ(symbolnames(n), (std::vector<std::string>{"R1", "R2"}));
    EXPECT_EQ(value(xxfsym(n, "R1", 0), "value"), "1k");
    EXPECT_EQ(value(xxfsym(n, "R2", 0), "value"), "2k");
    EXPECT_EQ(xxportnode(xxfsp(xxfsym(n, "R1", 0), "b", 0)),
              xxportnode(xxfsp(xxfsym(n, "R2", 0), "a", 0)));
}

} // namespace
