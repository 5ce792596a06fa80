// Netlist files: reading "[simulation]" files through the read driver into the object model.
#include "cfpath.h"
#include "kdxint.h"
#include "support/kdxsupport.h"
#include "support/testsupport.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class NetlistTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = testsupport::makedir("/tmp/rdimf_test.XXXXXX");
        ASSERT_FALSE(dir_.empty());
        old_ = fs::current_path();
        fs::current_path(dir_);
        kdx::xxsetlog(log_.file());
        kdx::xxsetprogname("t");
        cf::PSetPath(".");
        kdx::xxinit();
    }
    void TearDown() override {
        kdx::xxfreeall();
        kdx::xxcleanup();
        cf::FreePaths();
        kdx::xxsetlog(nullptr);
        fs::current_path(old_);
        fs::remove_all(dir_);
    }

    // Reads name.imf (holding text) as the top net of a netlist read; null when it failed.
    kdx::net *read(const char *name, const std::string &text, int flags = kdx::XXR_NETLIST) {
        testsupport::writefile(std::string(name) + ".imf", text);
        return kdx::xxreadfile(nullptr, name, nullptr, flags);
    }
    // A fresh library for the next case, and the log written since the last look.
    std::string restart() {
        kdx::xxfreeall();
        kdx::xxinit();
        return log_.fresh();
    }

    static std::vector<std::string> lines(kdx::linecell *c) {
        std::vector<std::string> out;
        for (; c; c = c->next)
            out.emplace_back(c->text);
        return out;
    }
    static std::string val(void *obj, const char *name) {
        return testsupport::propvalue(obj, name);
    }
    static std::string nodeof(kdx::port *p) { return kdx::xxnodename(kdx::xxportnode(p), 0); }

    std::string dir_;
    fs::path old_;
    testsupport::Capture log_;
};

TEST_F(NetlistTest, SmallNetlistThroughTheObjectModel) {
    testsupport::writefile("inv.imf", "[simulation]\nport in:i\nport in:o\n[detail]\n"
                                      "U primitive:INV ports:2 i:i o:o id:I1\n");
    kdx::net *n = read("cell", "[simulation]\n"
                               "# the cell's ports\n"
                               "port in:A IO:in X:10\n"
                               "port in:Y\n"
                               "tech cmos\n"
                               "[tools]\n"
                               "t Mon Dec  7 10:00:00 2026 extracted gen -k k -p p\n"
                               "[detail]\n"
                               "= a:A b:n1\n"
                               "U primitive:NAND ports:3 A:n1(in,g1) B:n2(in,g1) Y:Y(out,g2) "
                               "id:U1 W/L:2u/1u\n"
                               "U primitive:NAND ports:3 A:n2 B:n1 Y:n3 id:U2\n"
                               "U bn:inv ports:2 i:n3 o:Y id:X1 R:1k\n"
                               "U primitive:N id:n2 bn:tie C:1p\n"
                               "[comments]\n"
                               "a comment\n");
    ASSERT_NE(n, nullptr) << log_.text();
    EXPECT_EQ(log_.text(), "");
    EXPECT_EQ(n->flags & (kdx::NETF_READ | kdx::NETF_KINDS), kdx::NETF_READ | kdx::NETF_NETLIST);
    EXPECT_THAT(val(n, "file"), HasSubstr("cell.imf"));
    EXPECT_EQ(val(n, "technology"), "cmos");
    EXPECT_THAT(lines(n->tools), ElementsAre(HasSubstr("extracted gen")));
    EXPECT_THAT(lines(n->comments), ElementsAre("a comment"));

    // Ports lose the first three characters of their word and keep their attributes, placement
    // and port attributes in class 1.
    kdx::port *a = kdx::xxfndp(n, "A");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(n->nports, 2);
    EXPECT_EQ(val(a, "IO"), "in");
    EXPECT_EQ(kdx::xxpropflags(kdx::xxfindprop(a, "X", 0)), 1);
    EXPECT_EQ(nodeof(a), "A");

    // Uses without "bn" share a definition named after their first three ports and primitive.
    kdx::symbol *u1 = kdx::xxfsym(n, "U1", 0);
    kdx::symbol *u2 = kdx::xxfsym(n, "U2", 0);
    ASSERT_TRUE(u1 && u2);
    kdx::symdef *nand = kdx::xxsymdef(u1);
    EXPECT_STREQ(kdx::xxname(nand, 0), "_A_B_Y_NAND");
    EXPECT_EQ(kdx::xxsymdef(u2), nand);
    EXPECT_EQ(nand->flags & (kdx::SDEFF_READ | kdx::SDEFF_PRIM), kdx::SDEFF_READ | kdx::SDEFF_PRIM);
    EXPECT_STREQ(kdx::xxsympart(u2), "NAND");
    kdx::port *dy = kdx::xxfsdp(nand, "Y");
    EXPECT_EQ(val(dy, "IO"), "out");
    EXPECT_EQ(val(dy, "group"), "g2");
    EXPECT_EQ(val(u1, "W"), "2u");
    EXPECT_EQ(kdx::xxpropflags(kdx::xxfindprop(u1, "W/L", 0)), 2);

    // Port entries connect through aliases: n1 is A, and the net port Y meets U1 and X1.
    EXPECT_EQ(nodeof(kdx::xxfsp(u1, "A", 0)), "A");
    EXPECT_EQ(nodeof(kdx::xxfsp(u2, "B", 0)), "A");
    EXPECT_EQ(kdx::xxportnode(kdx::xxfsp(u1, "Y", 0)), kdx::xxportnode(kdx::xxfndp(n, "Y")));

    // A "bn" names the definition and its file; without a primitive the use is hierarchical and
    // its net is read as a netlist too.
    kdx::symbol *x1 = kdx::xxfsym(n, "X1", 0);
    ASSERT_NE(x1, nullptr);
    EXPECT_EQ(val(kdx::xxsymdef(x1), "file"), "inv.sym");
    EXPECT_EQ(val(x1, "R"), "1k");
    kdx::net *inv = kdx::xxsymnetdescr(x1);
    ASSERT_NE(inv, nullptr);
    EXPECT_EQ(inv->flags & (kdx::NETF_READ | kdx::NETF_KINDS), kdx::NETF_READ | kdx::NETF_NETLIST);
    EXPECT_NE(kdx::xxfsym(inv, "I1", 0), nullptr);

    // A node record gives its node its properties, "bn" among them.
    kdx::node *n2 = kdx::xxportnode(kdx::xxfsp(u1, "B", 0));
    EXPECT_EQ(val(n2, "C"), "1p");
    EXPECT_EQ(val(n2, "bn"), "tie");
}

// A use without "bn" names its definition after its first three ports and its primitive, however
// many ports it has: a use that differs from an earlier one in its fourth port only shares that
// definition, and the port the definition lacks is refused.
TEST_F(NetlistTest, SyntheticDefinitionNamesTakeTheFirstThreePorts) {
    const std::string head = "[simulation]\nport in:A\n[detail]\n"
                             "U primitive:AND4 ports:4 a:A b:n2 c:n3 d:n4 id:U1\n";
    kdx::net *n = read("four", head);
    ASSERT_NE(n, nullptr) << log_.text();
    EXPECT_STREQ(kdx::xxname(kdx::xxsymdef(kdx::xxfsym(n, "U1", 0)), 0), "_a_b_c_AND4");
    EXPECT_EQ(restart(), "");

    EXPECT_EQ(read("four", head + "U primitive:AND4 ports:4 a:A b:n2 c:n3 e:n5 id:U2\n"), nullptr);
    EXPECT_EQ(restart(),
              "t: error: different instances of symbol _a_b_c_AND4 have different port names\n");
}

TEST_F(NetlistTest, RecordsOfTheDetailSection) {
    struct Case {
        const char *detail;  // the "[detail]" section's records
        bool read;           // whether the net is read
        const char *message; // what the log must hold
    };
    const Case cases[] = {
        {"= a:x b:y\n", true, "warning: file ./c.imf line 4 : Empty [detail] section"},
        {"= ax b:y\n", false, "error: file ./c.imf line 3 : invalid alias (\"=\") entry"},
        {"U bn:s ports:1 a:x\nU bn:s ports:1 b:x\n", false,
         "different instances of symbol s have different port names"},
        {"U primitive:N ports:1 a:x id:n\n", false, "ports specified on node (primtive:N)"},
        {"U primitive:N R:1\n", false, "missing id property on node"},
        {"U R:1 ports:0\n", false, "no primitive or bn, must have one or the other"},
        {"U bn:s ports:x1\n", false, "invalid ports property: \"ports:x1\""},
        {"U bn:s ports:3 a:x b:y\n", false, "not as many ports in record as in \"ports:\" entry"},
        {"U bn:s ports:1 a:\n", false, "no node specified in port entry"},
        {"U bn:s ports:1 a:x(in)\n", false, "bad port entry"},
        {"U bn:s ports:1 a:x(in,g\n", false, "bad port entry"},
        {"U bn:s ports:2 a:x a:y\n", false,
         "ports of symbol s do not match its \"ports:\" entry (1 ports, 2 entries)"},
        {"X\n", false, "unrecognized record in [detail] section"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.detail);
        kdx::net *n = read("c", std::string("[simulation]\n[detail]\n") + c.detail);
        EXPECT_EQ(n != nullptr, c.read);
        EXPECT_THAT(restart(), HasSubstr(c.message));
    }

    // A node record finds the node an alias made and merges its properties into the node's.
    kdx::net *n = read("c", "[simulation]\n[detail]\n= a:x b:y\n"
                            "U primitive:N id:y R:1\nU primitive:*N* id:x R:2 C:3\n");
    ASSERT_NE(n, nullptr);
    EXPECT_THAT(log_.fresh(), HasSubstr("warning: node \"x\" has incompatible properties: "
                                        "\"R:2\" and \"R:1\""));
    kdx::node *x = kdx::xxunalias(static_cast<kdx::node *>(kdx::xxfindhash(n->nodetbl, "y")));
    EXPECT_EQ(val(x, "R"), "1");
    EXPECT_EQ(val(x, "C"), "3");
}

TEST_F(NetlistTest, OnlyCallersAskingForNetlistsReadThem) {
    const std::string text = "[simulation]\nport in:A\nt tx\nport in:B\n[detail]\n"
                             "U primitive:R ports:2 a:A b:B\n";
    // The part list's nets accept design and schematic files only.
    EXPECT_EQ(read("cell", text, kdx::XXR_DSNSCH | kdx::XXR_NOWIRING), nullptr);
    EXPECT_THAT(restart(), HasSubstr("error: unable to open file cell.sch or .dsn for reading"));

    // A bad technology line is reported and the section goes on with the next line.
    kdx::net *n = read("cell", text);
    ASSERT_NE(n, nullptr);
    EXPECT_THAT(log_.text(), HasSubstr("line 3 : invalid technology line"));
    EXPECT_NE(kdx::xxfndp(n, "B"), nullptr);

    // A required section that is missing fails the net.
    EXPECT_EQ(read("bad", "[simulation]\nport in:A\n"), nullptr);
    EXPECT_THAT(restart(), HasSubstr("Premature end of file in [simulation] section"));
}

} // namespace
