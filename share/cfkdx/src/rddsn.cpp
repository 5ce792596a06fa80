// rddsn.cpp - multi-page designs: the "[design]" page list and the nets built from it.
//
// A design groups schematic pages into one cell. xxrddsnfn takes the page names from a
// "[design]" file (a "[design2]" database hands them over through xxfindmpg instead);
// xxrddsnnets reads every page and makes it a symbol definition; xxrddsn places one instance
// of each page in the design net and gives the design the hierarchical ports of its pages.
// The module keeps no state of its own: the page lists hang on the design nets.
#include "kdxint.h"

#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

namespace kdx {

namespace {

// The first object linked to a port: the real port behind a page's declared port.
void *firstlink(const port *p) {
    return p->links ? p->links->obj : nullptr;
}

// Cuts the extension of the last path component; the directory part keeps its dots. A name
// that is all extension (".sch") is left alone rather than emptied.
void cutext(char *name) {
    char *base = name;
    for (char *s = name; *s; ++s)
        if (*s == '/' || *s == '\\') base = s + 1;
    char *dot = std::strrchr(base, '.');
    if (dot && dot != base) *dot = '\0';
}

// A name in upper case: the key under which names equal without regard to case meet.
std::string folded(const char *name) {
    std::string s = name;
    for (char &c : s)
        c = static_cast<char>(cf::toupperc(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

int xxrddsnfn(net *design) {
    RoutineScope scope("xxrddsnfn");
    filerec *f = xxcurfile();
    // A design database that was refused, or that describes other cells, is no page list: its
    // words would be taken for page files.
    if (f->section && cf::strcieql(f->section, "[design2]")) {
        xxerr("en", "no filenames in file");
        return 0;
    }
    std::string list;
    for (;;) {
        int c = xxpeek();
        if (c == EOF || c == '[') break;
        if (c == '#') {
            xxpurgeline();
            continue;
        }
        for (;;) {
            xxbufinit(&xxtmpbuf, DSN_WORDROOM);
            if (!xxtmpbuf) return 0;
            const char *word = xxrdbuf(&xxtmpbuf, 0);
            if (!word) break;
            if (!list.empty()) list += ' ';
            list += word;
        }
        xxpurgeline();
    }
    if (list.empty()) {
        xxerr("en", "no filenames in file");
        return 0;
    }
    // A heap copy of any length, chained to "xxalbuf" so that releasing the database releases
    // it too.
    char *pages = static_cast<char *>(xxalsolo(list.size() + 1));
    if (!pages) return 0;
    std::memcpy(pages, list.c_str(), list.size() + 1);
    design->pages = pages;
    design->pageids = nullptr;
    if (xxoptions().debug) {
        const char *name = nullptr;
        int line = 0;
        xxcurinput(&name, &line);
        xxerr("m", "Design file %s includes:\n%s", name ? name : "", pages);
    }
    return 1;
}

const char *nextname(const char *list, char *word, std::size_t size) {
    RoutineScope scope("nextname");
    if (!list) return nullptr;
    while (cf::isspacec(static_cast<unsigned char>(*list)))
        ++list;
    if (!*list) return nullptr;
    std::size_t n = 0;
    for (; *list && !cf::isspacec(static_cast<unsigned char>(*list)); ++list)
        if (n + 1 < size) word[n++] = *list;
    if (size) word[n] = '\0';
    return list;
}

int xxrddsnnets(net *design) {
    RoutineScope scope("xxrddsnnets");
    design->flags |= NETF_PAGESREAD;
    int result = 1;
    const char *list = design->pages;
    std::size_t size = list ? std::strlen(list) + 1 : 1;
    std::unique_ptr<char[]> word(new char[size]);
    rootnet *root = xxgetroot();
    bool readpages = !(root && (root->opts & XXR_NOPAGES));
    for (const char *s = list; (s = nextname(s, word.get(), size));) {
        cutext(word.get());
        net *page = xxnewnetdef(word.get(), nullptr);
        if (!page) {
            result = 0;
            break;
        }
        if (page->flags & NETF_PAGESREAD) {
            xxerr("e", "recursive schematic calls itself: %s", page->name);
            result = 0;
            break;
        }
        if (readpages) {
            // Reading a page makes it the current net; the design stays the one being built.
            net *cur = xxcurnet();
            int ok = xxrdnet(page, nullptr);
            xxsetcurnet(cur);
            if (!ok) {
                result = 0;
                continue;
            }
        }
        symdef *def = xxnewsymdef(nullptr, word.get());
        if (def && !(def->flags & (SDEFF_READ | SDEFF_FAILED))) xxmksymdef(page, def);
    }
    design->flags &= static_cast<std::uint16_t>(~NETF_PAGESREAD);
    return result;
}

int xxmksymdef(net *page, symdef *def) {
    RoutineScope scope("xxmksymdef");
    int bucket = 0;
    for (xxnamed *r = xxnexthash(page->porttbl, nullptr, &bucket, nullptr); r;
         r = xxnexthash(page->porttbl, r, &bucket, nullptr)) {
        port *pp = static_cast<port *>(r);
        port *dp = xxnewvport(def, def->porttbl, pp->name, firstlink(pp));
        if (!dp) continue;
        dp->props = pp->props;
        dp->flags = static_cast<std::uint16_t>(pp->flags | PORTF_PAGE);
    }
    xxfixnewsymdef(def, nullptr);
    def->flags |= SDEFF_READ | SDEFF_NET;
    return 1;
}

int xxrddsn(net *design) {
    RoutineScope scope("xxrddsn");
    const char *list = design->pages;
    if (!list || !*list) {
        xxdsnports(design);
        return 1;
    }
    std::size_t size = std::strlen(list) + 1;
    std::unique_ptr<char[]> word(new char[size]);
    std::unique_ptr<char[]> cell(new char[size]);
    dsn2entry *ids = design->pageids;
    // The first entry of each page name (folded to upper case), so that finding a page's entry
    // costs no walk of the whole list per page; a page named twice gets the first entry's name.
    std::unordered_map<std::string, dsn2entry *> firstof;
    const bool traced = xxtracing(); // the trace shows the look-up of every page
    if (ids && !traced)
        for (dsn2entry *e = ids; e; e = e->next)
            if (e->name) firstof.try_emplace(folded(e->name), e);
    int k = 0;
    for (const char *s = list; (s = nextname(s, word.get(), size));) {
        std::memcpy(cell.get(), word.get(), std::strlen(word.get()) + 1);
        cutext(cell.get());
        symdef *def = xxfindsymdef(nullptr, cell.get(), 0);
        if (!def) {
            xxerr("ei", "phase error in multi-page schematic");
            return 0;
        }
        if (!xxfindnet(cell.get(), 0)) {
            xxerr("ei", "phase error 2 in multi-page schematic");
            return 0;
        }
        symbol *sym = xxnewsym(design, def, def->nports);
        if (!sym) return 0;
        const char *tn = xxpropval(xxfindprop(sym, "tn", 0));
        XXASSERT(tn);
        if (!tn) return 0;
        std::string id;
        if (ids) {
            dsn2entry *e = nullptr;
            if (traced) {
                e = xxfinddp(ids, word.get());
            } else if (auto it = firstof.find(folded(word.get())); it != firstof.end()) {
                e = it->second;
            }
            XXASSERT(e);
            if (!e) return 0;
            id = e->text2 ? e->text2 : "";
        } else {
            id = tn;
            id += '#';
            id += std::to_string(k++);
        }
        prop *p = xxalprop(PROPF_CLASS1, "id", id.c_str());
        if (!p) return 0;
        p->props = sym->props;
        sym->props = p;
        sym->name = p->text + 3; // behind "id:"
        xxfixnewsym(design, sym);
        sym->flags |= SYMF_DESIGN;
        xxcports(design, sym);
    }
    xxdsnports(design);
    return 1;
}

void xxdsnports(net *design) {
    RoutineScope scope("xxdsnports");
    for (symbol *sym = design->firstsym; sym; sym = sym->next) {
        symdef *def = sym->def;
        if (!def || !def->porttbl) continue;
        int bucket = 0;
        for (xxnamed *r = xxnexthash(def->porttbl, nullptr, &bucket, nullptr); r;
             r = xxnexthash(def->porttbl, r, &bucket, nullptr)) {
            port *dp = static_cast<port *>(r);
            if (!ishierport(dp)) continue;
            port *np = xxnewvport(design, design->porttbl, dp->name, firstlink(dp));
            if (!np) continue;
            np->props = dp->props;
            np->flags = static_cast<std::uint16_t>(dp->flags | PORTF_PAGE);
        }
    }
    xxcnetports(design, design->porttbl);
}

} // namespace kdx
