// gendesign - writes a deterministic hierarchical design for the whole-run benchmarks.
//
// The design is a tree of sheets: the top sheet places the first `fanout` sheets, sheet i
// places sheets fanout*i+1 ... fanout*i+fanout, each `placements` times, so a sheet at depth d
// is placed placements^d times in the flattened hierarchy. Every sheet holds `parts` primitive
// parts drawn from `distinct` part symbols and `values` property values, wired in a chain.
// With --drawing a sheet also carries what the editor writes for its drawing and that the
// part list passes over: a tools section, a frame, a title block, reference texts and wires
// with bends.
//
// With --depth D the sheets form levels instead: D levels of (nearly) equal size below the top
// sheet, which places every sheet of the first level. Every other sheet is placed `placements`
// times in all from the level above: all by one parent or, for one sheet in --shared, split
// between two parents, so a sheet at depth d is still placed placements^d times. --props adds
// a tolerance and a rating to each part's value; --unwired leaves the chain of wires out.
// The same arguments always give the same bytes.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Params {
    int sheets = 1000;    // sub-sheets below the top sheet
    int fanout = 10;      // sub-sheets placed by one sheet
    int placements = 2;   // placements of each sub-sheet in its parent
    int parts = 200;      // primitive parts per sheet
    int distinct = 50;    // distinct part symbols
    int values = 200;     // distinct property values
    int props = 1;        // listed properties of a part: value, tolerance, rating
    int depth = 0;        // levels of equal size below the top sheet; 0: the fanout tree
    int shared = 0;       // with depth: one sheet in `shared` has two parents; 0: none
    bool wires = true;    // parts wired in a chain
    bool crlf = false;    // Windows line ends
    bool drawing = false; // the drawing records an editor writes beside the connectivity
    const char *out = nullptr;
};

class Writer {
  public:
    Writer(const std::string &path, bool crlf) : crlf_(crlf) {
        f_ = std::fopen(path.c_str(), "wb");
        if (!f_) {
            std::perror(path.c_str());
            std::exit(1);
        }
    }
    ~Writer() {
        if (std::fclose(f_) != 0) {
            std::perror("gendesign: close");
            std::exit(1);
        }
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    [[gnu::format(printf, 2, 3)]] void line(const char *fmt, ...) {
        va_list ap;
        va_start(ap, fmt);
        std::vfprintf(f_, fmt, ap);
        va_end(ap);
        std::fputs(crlf_ ? "\r\n" : "\n", f_);
    }

  private:
    std::FILE *f_;
    bool crlf_;
};

// A cheap deterministic sequence (no library generator, so every platform writes the same).
unsigned next(unsigned &state) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) & 0xffffffu;
}

const char *const kinds[] = {"R", "C", "L", "D", "Q", "U", "J", "F", "Y", "K"};
const int tolerances[] = {1, 2, 5, 10, 20};

// One placement of a sub-sheet: the sheet, the number of its instance name, its position.
struct Child {
    int sheet;
    int instance;
    int y;
};

// The placements of sub-sheets in each sheet (index 0 is the top sheet).
std::vector<std::vector<Child>> placements(const Params &p) {
    std::vector<std::vector<Child>> placed(static_cast<size_t>(p.sheets) + 1);
    auto place = [&](int parent, int child, int first, int last, int y) {
        for (int j = first; j <= last; ++j)
            placed[static_cast<size_t>(parent)].push_back({child, j, y});
    };
    if (p.depth == 0) {
        for (int s = 0; s <= p.sheets; ++s)
            for (int c = 1; c <= p.fanout && s * p.fanout + c <= p.sheets; ++c)
                place(s, s * p.fanout + c, 1, p.placements, c * 100);
        return placed;
    }
    // Level l holds the sheets first(l) ... first(l + 1) - 1.
    auto first = [&](int l) { return 1 + static_cast<int>(1LL * p.sheets * (l - 1) / p.depth); };
    auto y = [&](int parent) {
        return static_cast<int>(placed[static_cast<size_t>(parent)].size()) * 100 + 100;
    };
    for (int s = first(1); s < first(2); ++s)
        place(0, s, 1, p.placements, y(0));
    for (int l = 2; l <= p.depth; ++l) {
        int above = first(l) - first(l - 1);
        for (int s = first(l); s < first(l + 1); ++s) {
            // A prime stride spreads the parents over the level above: some sheets place
            // several sub-sheets, some none.
            int j = s - first(l);
            int parent = first(l - 1) + static_cast<int>(7919LL * j % above);
            if (p.shared > 0 && j % p.shared == p.shared - 1 && above > 1 && p.placements > 1) {
                int second = first(l - 1) + (parent - first(l - 1) + above / 2 + 1) % above;
                if (second == parent) second = first(l - 1) + (parent - first(l - 1) + 1) % above;
                int split = p.placements - p.placements / 2;
                place(parent, s, 1, split, y(parent));
                place(second, s, split + 1, p.placements, y(second));
            } else {
                place(parent, s, 1, p.placements, y(parent));
            }
        }
    }
    return placed;
}

void write_part_symbol(const Params &p, int k) {
    Writer w(std::string(p.out) + "/part" + std::to_string(k) + ".sym", p.crlf);
    w.line("[symbol2]");
    w.line("port 0 0 1 0 a 0 in 0 0 g");
    w.line("port 0 20 1 0 b 0 out 0 20 g");
    w.line("bbox 0 0 20 20");
    w.line("[attributes]");
    w.line("p 0 0 1 0 1 primitive:%s%d", kinds[k % 10], k / 10);
    w.line("p 0 0 1 0 0 footprint:fp%d", k % 7);
}

void write_sheet_symbol(const Params &p, int s) {
    Writer w(std::string(p.out) + "/s" + std::to_string(s) + ".sym", p.crlf);
    w.line("[symbol2]");
    w.line("bbox 0 0 40 40");
    w.line("[attributes]");
    w.line("p 0 0 1 0 0 cell:s%d", s);
}

void write_sheet(const Params &p, const std::string &name, const std::vector<Child> &subs,
                 unsigned seed) {
    Writer w(std::string(p.out) + "/" + name + ".sch", p.crlf);
    w.line("[schematic2]");
    w.line("ver 1");
    if (p.drawing) {
        w.line("[tools]");
        w.line("editor 8.7 build 2231");
        w.line("grid 10 snap 5");
    }
    w.line("[detail]");
    if (p.drawing) {
        w.line("f 0 0 1 0 A3 landscape");
        w.line("b 1200 0 1 0 title");
        w.line("text 1210 10 1 0 Sheet %s", name.c_str());
        w.line("text 1210 30 1 0 Drawn by gendesign");
        w.line("text 1210 50 1 0 Checked by nobody");
        w.line("text 1210 70 1 0 Revision A");
        w.line("line 1200 0 1600 0 1600 90 1200 90 1200 0");
        w.line("_");
    }
    for (int i = 1; p.wires && i < p.parts; ++i) {
        if (p.drawing)
            w.line("w 0 0 1 0 N%d s.U%d.b %d 0 %d 5 %d 5 %d 10 s.U%d.a", i, i, i * 10, i * 10,
                   i * 10 + 5, i * 10 + 5, i + 1);
        else
            w.line("w 0 0 1 0 N%d s.U%d.b %d 0 %d 10 s.U%d.a", i, i, i * 10, i * 10, i + 1);
    }
    if (p.drawing)
        for (int i = 1; i <= p.parts; ++i)
            w.line("s %d 20 1 0 U%d", i * 10, i);
    w.line("[cell use]");
    unsigned state = seed;
    for (int i = 1; i <= p.parts; ++i) {
        int k = static_cast<int>(next(state) % static_cast<unsigned>(p.distinct));
        int v = static_cast<int>(next(state) % static_cast<unsigned>(p.values));
        w.line("use part%d %d 0 1 0 U%d 0", k, i * 10, i);
        w.line("p %d 0 1 0 0 symid:%d", i * 10, i);
        w.line("p %d 0 1 0 1 value:%dk", i * 10, v);
        if (p.props >= 2) w.line("p %d 0 1 0 1 tol:%d%%", i * 10, tolerances[v % 5]);
        if (p.props >= 3) w.line("p %d 0 1 0 1 rating:%dV", i * 10, 10 * (1 + v % 7));
    }
    for (const Child &c : subs) {
        w.line("use s%d 0 %d 1 0 X%d_%d 0", c.sheet, c.y, c.sheet, c.instance);
        w.line("p 0 %d 1 0 0 symid:%d", c.y, p.parts + c.sheet * p.placements + c.instance);
    }
}

int usage() {
    std::fputs("usage: gendesign [--sheets N] [--fanout N] [--placements N] [--parts N]\n"
               "                 [--distinct N] [--values N] [--props N] [--depth N [--shared N]]\n"
               "                 [--unwired] [--crlf] [--drawing] DIR\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    Params p;
    for (int i = 1; i < argc; ++i) {
        auto num = [&](int &target) {
            if (i + 1 >= argc) std::exit(usage());
            target = std::atoi(argv[++i]);
        };
        if (!std::strcmp(argv[i], "--sheets"))
            num(p.sheets);
        else if (!std::strcmp(argv[i], "--fanout"))
            num(p.fanout);
        else if (!std::strcmp(argv[i], "--placements"))
            num(p.placements);
        else if (!std::strcmp(argv[i], "--parts"))
            num(p.parts);
        else if (!std::strcmp(argv[i], "--distinct"))
            num(p.distinct);
        else if (!std::strcmp(argv[i], "--values"))
            num(p.values);
        else if (!std::strcmp(argv[i], "--props"))
            num(p.props);
        else if (!std::strcmp(argv[i], "--depth"))
            num(p.depth);
        else if (!std::strcmp(argv[i], "--shared"))
            num(p.shared);
        else if (!std::strcmp(argv[i], "--unwired"))
            p.wires = false;
        else if (!std::strcmp(argv[i], "--crlf"))
            p.crlf = true;
        else if (!std::strcmp(argv[i], "--drawing"))
            p.drawing = true;
        else if (argv[i][0] == '-')
            return usage();
        else
            p.out = argv[i];
    }
    if (!p.out || p.sheets < 0 || p.fanout < 1 || p.placements < 1 || p.parts < 1 ||
        p.distinct < 1 || p.values < 1 || p.props < 1 || p.props > 3 || p.depth < 0 ||
        p.shared < 0 || (p.depth > 0 && p.sheets < p.depth))
        return usage();

    for (int k = 0; k < p.distinct; ++k)
        write_part_symbol(p, k);
    const std::vector<std::vector<Child>> subs = placements(p);
    write_sheet(p, "top", subs[0], 1u);
    for (int s = 1; s <= p.sheets; ++s) {
        write_sheet_symbol(p, s);
        write_sheet(p, "s" + std::to_string(s), subs[static_cast<size_t>(s)],
                    static_cast<unsigned>(s) * 7919u + 1u);
    }
    return 0;
}
