// partlist_compare.cpp - the changes between two part lists (see partlist_compare.h).
//
// The exports are read with simdjson's DOM parser: the whole document is checked before any of
// it is used, so a truncated or broken file is refused, never read half. The texts of the totals
// stay in the parser's memory and are only viewed.
#include "partlist_compare.h"

#include "platform/sysfile.h"

#include <simdjson.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <unordered_map>
#include <utility>

namespace partlist::compare {

struct PartList::Parser {
    simdjson::dom::parser parser;
    simdjson::padded_string json;
    simdjson::dom::element doc;
};

PartList::PartList() : parser_(std::make_unique<Parser>()) {}
PartList::~PartList() = default;

bool PartList::read(const char *file, std::string &error) {
    std::FILE *f = std::fopen(file, "rb");
    if (f == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    const bool ok = read(f, error);
    std::fclose(f);
    return ok;
}

bool PartList::read(std::FILE *f, std::string &error) {
    // Read straight into the parser's padded buffer: an export runs to hundreds of megabytes.
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
        error = std::strerror(errno);
        return false;
    }
    parser_->json = simdjson::padded_string(static_cast<std::size_t>(size));
    if (size > 0 && parser_->json.data() == nullptr) {
        error = std::strerror(ENOMEM);
        return false;
    }
    if (std::fread(parser_->json.data(), 1, static_cast<std::size_t>(size), f) !=
        static_cast<std::size_t>(size)) {
        error = std::ferror(f) != 0 ? std::strerror(errno) : "the file changed while it was read";
        return false;
    }
    totals_.clear();
    if (const auto code = parser_->parser.parse(parser_->json).get(parser_->doc); code) {
        error = size == 0 ? "empty file"
                : code == simdjson::MEMALLOC
                    ? std::strerror(ENOMEM)
                    : std::string("not a JSON document (") + simdjson::error_message(code) + ")";
        return false;
    }
    if (take(error)) return true;
    totals_.clear();
    return false;
}

namespace {

// A text field of an object, or false.
bool text(simdjson::dom::object o, const char *key, std::string_view &out) {
    return o[key].get_string().get(out) == simdjson::SUCCESS;
}

} // namespace

bool PartList::take(std::string &error) {
    simdjson::dom::object top;
    std::uint64_t format = 0;
    if (parser_->doc.get_object().get(top) || top["partlist_export"].get_uint64().get(format)) {
        error = "not a part-list export (no \"partlist_export\" format number)";
        return false;
    }
    if (format > static_cast<std::uint64_t>(EXPORT_FORMAT)) {
        error = "export format " + std::to_string(format) + "; this partlist reads format " +
                std::to_string(EXPORT_FORMAT) + " and older";
        return false;
    }
    simdjson::dom::array totals;
    if (!text(top, "design", design_) || top["totals"].get_array().get(totals)) {
        error = "not a part-list export (no \"design\" or \"totals\")";
        return false;
    }
    totals_.reserve(totals.size());
    std::size_t index = 0;
    for (simdjson::dom::element e : totals) {
        ++index;
        simdjson::dom::object o;
        simdjson::dom::array refs;
        std::uint64_t quantity = 0;
        Total t;
        bool ok =
            !e.get_object().get(o) && text(o, "category", t.category) && text(o, "name", t.name) &&
            text(o, "property", t.property) && text(o, "description", t.description) &&
            !o["quantity"].get_uint64().get(quantity) && !o["references"].get_array().get(refs);
        if (ok) {
            t.references.reserve(refs.size());
            for (simdjson::dom::element r : refs) {
                std::string_view ref;
                if (r.get_string().get(ref)) {
                    ok = false;
                    break;
                }
                t.references.push_back(ref);
            }
        }
        if (!ok || quantity != t.references.size()) {
            error = "not a part-list export (total " + std::to_string(index) +
                    (ok ? " has a quantity other than its references' count)" : " is malformed)");
            return false;
        }
        totals_.push_back(std::move(t));
    }
    return true;
}

namespace {

struct GroupKey {
    std::string_view category, name, property;
    friend bool operator==(const GroupKey &, const GroupKey &) = default;
};

struct GroupHash {
    std::size_t operator()(const GroupKey &k) const {
        const std::hash<std::string_view> h;
        return h(k.category) ^ (h(k.name) * 31) ^ (h(k.property) * 1009);
    }
};

GroupKey keyof(const Total &t) {
    return {t.category, t.name, t.property};
}

// Where each group of `list` stands, by its key.
std::unordered_map<GroupKey, const Total *, GroupHash> groupsof(const PartList &list) {
    std::unordered_map<GroupKey, const Total *, GroupHash> groups(list.totals().size());
    for (const Total &t : list.totals())
        groups.emplace(keyof(t), &t);
    return groups;
}

using RefGroups = std::unordered_map<std::string_view, const Total *>;

} // namespace

Changes compare(const PartList &old, const PartList &now) {
    const auto oldgroups = groupsof(old);
    const auto newgroups = groupsof(now);

    // The groups of both, in the new export's order; a group only in the old one stands after
    // the group before it there that the new one has too.
    struct Place {
        std::size_t anchor; // its place in the new order (old-only: that of the group before)
        std::size_t after;  // 0 for a group of the new export; old-only: its old place + 1
        const Total *was;
        const Total *now;
    };
    std::vector<Place> places;
    places.reserve(now.totals().size() + old.totals().size());
    std::unordered_map<const Total *, std::size_t> newplace(now.totals().size());
    for (std::size_t i = 0; i < now.totals().size(); ++i) {
        const Total &t = now.totals()[i];
        newplace.emplace(&t, i + 1);
        const auto was = oldgroups.find(keyof(t));
        places.push_back({i + 1, 0, was != oldgroups.end() ? was->second : nullptr, &t});
    }
    std::size_t anchor = 0;
    for (std::size_t i = 0; i < old.totals().size(); ++i) {
        const Total &t = old.totals()[i];
        const auto is = newgroups.find(keyof(t));
        if (is != newgroups.end())
            anchor = newplace[is->second];
        else
            places.push_back({anchor, i + 1, &t, nullptr});
    }
    std::sort(places.begin(), places.end(), [](const Place &a, const Place &b) {
        return a.anchor != b.anchor ? a.anchor < b.anchor : a.after < b.after;
    });

    // Only the references of groups that differ can have come, gone or moved: a group with the
    // same references on both sides lost none and gained none.
    RefGroups oldrefs, newrefs;
    for (const Place &p : places) {
        if (p.was != nullptr && p.now != nullptr && p.was->references == p.now->references)
            continue;
        if (p.was != nullptr)
            for (std::string_view r : p.was->references)
                oldrefs.emplace(r, p.was);
        if (p.now != nullptr)
            for (std::string_view r : p.now->references)
                newrefs.emplace(r, p.now);
    }

    Changes changes;
    for (const Place &p : places) {
        Change c;
        c.was = p.was;
        c.now = p.now;
        c.references =
            p.was == nullptr || p.now == nullptr || p.was->references != p.now->references;
        c.described =
            p.was != nullptr && p.now != nullptr && p.was->description != p.now->description;
        if (!c.references && !c.described) continue;
        if (c.references && p.was != nullptr)
            for (std::string_view r : p.was->references)
                if (newrefs.find(r) == newrefs.end()) c.went.push_back(r);
        if (c.references && p.now != nullptr)
            for (std::string_view r : p.now->references) {
                const auto from = oldrefs.find(r);
                if (from == oldrefs.end())
                    c.came.push_back(r);
                else if (from->second != p.was)
                    c.movedin.push_back({r, from->second});
            }
        changes.added += p.was == nullptr;
        changes.removed += p.now == nullptr;
        changes.changed += c.references && p.was != nullptr && p.now != nullptr;
        changes.moved += c.movedin.size();
        changes.described += c.described;
        changes.groups.push_back(std::move(c));
    }
    return changes;
}

// ---- Writing ----

namespace {

const char *kindof(const Change &c) {
    if (c.was == nullptr) return "added";
    if (c.now == nullptr) return "removed";
    return c.references ? "changed" : "described";
}

std::size_t quantity(const Total *t) {
    return t != nullptr ? t->references.size() : 0;
}

const Total &either(const Change &c) {
    return c.now != nullptr ? *c.now : *c.was;
}

// "R 10k;0805; [Discrete]": what a reader of the text knows a group by.
std::string label(const Total &t) {
    std::string s(t.name);
    if (!t.property.empty()) s.append(" ").append(t.property);
    if (!t.category.empty()) s.append(" [").append(t.category).append("]");
    return s;
}

std::string joined(const std::vector<std::string_view> &refs) {
    std::string s;
    for (std::string_view r : refs)
        s.append(s.empty() ? "" : " ").append(r);
    return s;
}

std::string summary(const Changes &ch) {
    std::string s;
    const auto add = [&s](std::size_t n, const char *one, const char *many) {
        if (n == 0) return;
        s.append(s.empty() ? "" : ", ").append(std::to_string(n)).append(n == 1 ? one : many);
    };
    add(ch.added, " group added", " groups added");
    add(ch.removed, " group removed", " groups removed");
    add(ch.changed, " group changed", " groups changed");
    add(ch.moved, " reference moved", " references moved");
    add(ch.described, " description changed", " descriptions changed");
    return s.empty() ? "no changes" : s;
}

std::string text(const Changes &ch, const std::string &oldname, const std::string &newname) {
    std::string out = "Changes from " + oldname + " to " + newname + ": " + summary(ch) + "\n";
    for (const Change &c : ch.groups) {
        const Total &t = either(c);
        out.append(kindof(c)).append(std::string(10 - std::strlen(kindof(c)), ' '));
        out.append(label(t));
        if (c.references)
            out.append("  ")
                .append(std::to_string(quantity(c.was)))
                .append(" -> ")
                .append(std::to_string(quantity(c.now)));
        out += '\n';
        if (!c.came.empty()) out.append("          came ").append(joined(c.came)) += '\n';
        if (!c.went.empty()) out.append("          went ").append(joined(c.went)) += '\n';
        for (const Move &m : c.movedin)
            out.append("          moved in ")
                .append(m.reference)
                .append(" from ")
                .append(label(*m.from)) += '\n';
        if (c.described)
            out.append("          description \"")
                .append(c.was->description)
                .append("\" -> \"")
                .append(c.now->description)
                .append("\"\n");
    }
    return out;
}

// A CSV field (RFC 4180): quoted where it holds a separator, a quote or a line end.
std::string field(std::string_view v) {
    if (v.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(v);
    std::string s = "\"";
    for (char c : v)
        s.append(c == '"' ? "\"\"" : std::string(1, c));
    return s + '"';
}

std::string csv(const Changes &ch) {
    std::string out = "change,category,name,property,old_quantity,new_quantity,came,went,"
                      "from_category,from_name,from_property,old_description,new_description\r\n";
    const auto row = [&out](std::initializer_list<std::string_view> fields) {
        bool first = true;
        for (std::string_view f : fields) {
            out.append(first ? "" : ",").append(field(f));
            first = false;
        }
        out.append("\r\n");
    };
    for (const Change &c : ch.groups) {
        const Total &t = either(c);
        const std::string was = std::to_string(quantity(c.was));
        const std::string now = std::to_string(quantity(c.now));
        const std::string_view olddescr = c.was != nullptr ? c.was->description : "";
        const std::string_view newdescr = c.now != nullptr ? c.now->description : "";
        if (c.references)
            row({kindof(c), t.category, t.name, t.property, was, now, joined(c.came),
                 joined(c.went), "", "", "", olddescr, newdescr});
        for (const Move &m : c.movedin)
            row({"moved", t.category, t.name, t.property, "", "", m.reference, "", m.from->category,
                 m.from->name, m.from->property, "", ""});
        if (c.described)
            row({"described", t.category, t.name, t.property, was, now, "", "", "", "", "",
                 olddescr, newdescr});
    }
    return out;
}

// A JSON string.
std::string jsontext(std::string_view v) {
    std::string s = "\"";
    for (const char c : v) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(c));
            s += esc;
        } else {
            s += c;
        }
    }
    return s + '"';
}

std::string array(const std::vector<std::string_view> &refs) {
    std::string s = "[";
    for (std::string_view r : refs)
        s.append(s.size() > 1 ? ", " : "").append(jsontext(r));
    return s + "]";
}

std::string group(const Total &t) {
    return "\"category\": " + jsontext(t.category) + ", \"name\": " + jsontext(t.name) +
           ", \"property\": " + jsontext(t.property);
}

std::string json(const Changes &ch, const std::string &oldname, const std::string &newname) {
    std::string out = "{\n  \"old\": " + jsontext(oldname) + ",\n  \"new\": " + jsontext(newname) +
                      ",\n  \"changes\": [";
    bool first = true;
    const auto entry = [&](const std::string &body) {
        out.append(first ? "\n    {" : ",\n    {").append(body).append("}");
        first = false;
    };
    for (const Change &c : ch.groups) {
        const Total &t = either(c);
        if (c.references) {
            std::string body = "\"change\": \"" + std::string(kindof(c)) + "\", " + group(t) +
                               ", \"old_quantity\": " + std::to_string(quantity(c.was)) +
                               ", \"new_quantity\": " + std::to_string(quantity(c.now));
            if (c.now != nullptr) body += ", \"description\": " + jsontext(c.now->description);
            entry(body + ", \"came\": " + array(c.came) + ", \"went\": " + array(c.went));
        }
        for (const Move &m : c.movedin)
            entry("\"change\": \"moved\", " + group(t) + ", \"reference\": " +
                  jsontext(m.reference) + ", \"from\": {" + group(*m.from) + "}");
        if (c.described)
            entry("\"change\": \"described\", " + group(t) +
                  ", \"old_description\": " + jsontext(c.was->description) +
                  ", \"new_description\": " + jsontext(c.now->description));
    }
    return out + (first ? "]\n}\n" : "\n  ]\n}\n");
}

} // namespace

bool writechanges(std::FILE *out, const Changes &changes, Format format, const std::string &oldname,
                  const std::string &newname) {
    const std::string bytes = format == Format::csv    ? csv(changes)
                              : format == Format::json ? json(changes, oldname, newname)
                                                       : text(changes, oldname, newname);
    return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && std::fflush(out) == 0;
}

} // namespace partlist::compare

// ---- The command's comparison ----

namespace partlist::compare {

namespace {

// What a side of the comparison is called in its output: the file and the design it holds.
std::string sidename(const std::string &what, const PartList &list) {
    return what + " (" + std::string(list.design()) + ")";
}

// Reads an export to compare; says why when it cannot.
bool readpartlist(PartList &list, const char *file) {
    std::string error;
    if (list.read(file, error)) return true;
    std::fprintf(stderr, "partlist: %s: %s\n", file, error.c_str());
    return false;
}

int writeall(Format format, const PartList &old, const std::string &oldname, const PartList &now,
             const std::string &newname) {
    const Changes changes = compare(old, now);
    platform::BinaryStream(stdout); // the line ends of CSV are its own
    if (writechanges(stdout, changes, format, oldname, newname)) return EXIT_COMPARED;
    std::fprintf(stderr, "partlist: standard output: %s\n", std::strerror(errno));
    return EXIT_NOOUTPUT;
}

} // namespace

Comparison::Comparison() = default;
Comparison::~Comparison() = default;

bool Comparison::option(const char *option, const char *value) {
    if (std::strcmp(option, "--compare") == 0) {
        oldfile_ = value;
        return true;
    }
    if (std::strcmp(value, "text") == 0)
        format_ = Format::text;
    else if (std::strcmp(value, "csv") == 0)
        format_ = Format::csv;
    else if (std::strcmp(value, "json") == 0)
        format_ = Format::json;
    else {
        std::fprintf(stderr, "partlist: --changes takes text, csv or json, not %s\n", value);
        return false;
    }
    return true;
}

bool Comparison::betweenexports(const std::vector<char *> &args) const {
    if (!asked() || args.size() != 2) return false;
    const std::string_view last = args[1];
    return last.size() >= 5 && last.substr(last.size() - 5) == ".json";
}

int Comparison::compareexports(const char *newfile) {
    PartList old, now;
    if (!readpartlist(old, oldfile_) || !readpartlist(now, newfile)) return EXIT_COMPARE;
    return writeall(format_, old, sidename(oldfile_, old), now, sidename(newfile, now));
}

bool Comparison::readold() {
    old_ = std::make_unique<PartList>();
    return readpartlist(*old_, oldfile_);
}

int Comparison::comparerun() {
    // The run's own part list, as its JSON export reads back: one reader for both sides.
    PartList now;
    std::string error = std::strerror(ENOMEM);
    bool ok = false;
    if (std::FILE *f = std::tmpfile()) {
        try {
            ok = partlist::writejson(f) && std::fflush(f) == 0 && std::fseek(f, 0, SEEK_SET) == 0 &&
                 now.read(f, error);
        } catch (const std::bad_alloc &) {
            error = std::strerror(ENOMEM);
        }
        std::fclose(f);
    } else {
        error = std::strerror(errno);
    }
    if (!ok) {
        std::fprintf(stderr, "partlist: this run's part list: %s\n", error.c_str());
        return EXIT_COMPARE;
    }
    return writeall(format_, *old_, sidename(oldfile_, *old_), now, sidename("this run", now));
}

} // namespace partlist::compare
