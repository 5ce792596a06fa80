// partlist_map.cpp - the part description map and the property width.
//
// The map tells, for a part name (exact, case-sensitive), its category and a one-line
// description; it is loaded from a text file of one record per line and lives until clearMap.
// The property width is stored here by the host and read by each run at its start.
#include "partlistint.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cfpath.h"
#include "cfstring.h"
#include "platform/sysfile.h"

namespace partlist {

namespace {

// One record of the map.
class PartDescription {
  public:
    PartDescription(std::string category, std::string description)
        : category_(std::move(category)), description_(std::move(description)) {}
    const std::string &category() const { return category_; }
    const std::string &description() const { return description_; }

  private:
    std::string category_;
    std::string description_;
};

using DescriptionMap = std::unordered_map<std::string, PartDescription>;

// Made on first use rather than at load, so the library has no static constructor.
DescriptionMap &descmap() {
    static DescriptionMap map;
    return map;
}

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};

// The files the map was loaded from: no output of a run may replace them.
std::vector<platform::FileId> &mapfiles() {
    static std::vector<platform::FileId> files;
    return files;
}

struct MapState {
    int proplen; // the property width the host set last
};

constinit MapState state{0};

// Takes a run of non-blank characters starting at *pos; the blanks before it are skipped.
std::string word(const std::string &line, std::size_t *pos) {
    std::size_t i = *pos;
    while (i < line.size() && cf::isspacec(static_cast<unsigned char>(line[i])))
        ++i;
    std::size_t start = i;
    while (i < line.size() && !cf::isspacec(static_cast<unsigned char>(line[i])))
        ++i;
    *pos = i;
    return line.substr(start, i - start);
}

// One record per line: category, part name, and the rest of the line as the description. A line
// with two fields has an empty description; a shorter one is no record at all.
void addrecord(const std::string &line) {
    std::size_t pos = 0;
    std::string category = word(line, &pos);
    std::string part = word(line, &pos);
    if (part.empty()) return;
    while (pos < line.size() && cf::isspacec(static_cast<unsigned char>(line[pos])))
        ++pos;
    std::string description = line.substr(pos);
    descmap().insert_or_assign(std::move(part),
                               PartDescription(std::move(category), std::move(description)));
}

} // namespace

int initializeMap(const char *path) {
    if (path == nullptr) return 0;
    std::string name = path;
    cf::toseparators(name.data());
    // Read as bytes: the line ends are taken apart below, the same way on every system.
    std::unique_ptr<FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
    FILE *f = file.get();
    if (f == nullptr) {
        // A map the host could read but memory could not open is no map it left out.
        if (errno == ENOMEM) throw std::bad_alloc();
        return 0;
    }
    platform::FileId id;
    if (platform::IdOfStream(f, id)) mapfiles().push_back(id);
    std::string line;
    for (;;) {
        int c = platform::ReadChar(f);
        if (c == EOF || c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            addrecord(line);
            line.clear();
            if (c == EOF) break;
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    return 0;
}

const char *lookupMap(const char *part, char *descr) {
    DescriptionMap &map = descmap();
    if (map.empty() || part == nullptr) return nullptr;
    auto it = map.find(part);
    if (it == map.end()) return nullptr;
    std::snprintf(descr, LOOKUP_DESCR_SIZE, "%s", it->second.description().c_str());
    return it->second.category().c_str();
}

bool lookuprecord(const char *part, std::string_view *category, std::string_view *description) {
    DescriptionMap &map = descmap();
    if (map.empty() || part == nullptr) return false;
    auto it = map.find(part);
    if (it == map.end()) return false;
    *category = it->second.category();
    *description = it->second.description();
    return true;
}

bool mapempty() {
    return descmap().empty();
}

bool ismapfile(const platform::FileId &file) {
    return std::find(mapfiles().begin(), mapfiles().end(), file) != mapfiles().end();
}

void clearMap() {
    descmap().clear();
    mapfiles().clear();
}

int SetPropertyLength(const char *text) {
    // atoi's reading of the text, without its undefined behaviour on overflow.
    long value = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    state.proplen = static_cast<int>(value);
    return state.proplen;
}

int GetPropertyLength() {
    return state.proplen;
}

} // namespace partlist
