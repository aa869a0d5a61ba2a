#include "gtfs.h"

#include "csv.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include <QString>
#include <QUtf8StringView>

namespace transit {

namespace {

constexpr std::uint32_t None = UINT32_MAX;

// The rows one trip may have. The longest real trips call at a few hundred
// stops; a trip of millions of rows is refused while it is read, before its
// rows take the memory.
constexpr std::size_t MaxRowsPerTrip = 10'000;

// A stop of stop_times.txt that is a zone of GTFS-Flex, not a stop.
class Zone : public Error {
public:
    using Error::Error;
};

// An Error that already says where in the feed it was found.
class Placed : public Error {
public:
    using Error::Error;
};

std::string where(std::string_view file, std::uint64_t line)
{
    return std::string(file) + ", Zeile " + std::to_string(line) + ": ";
}

// Text from the feed in a message, quoted, and cut where it is longer than a
// message should be: a field may hold a megabyte.
std::string inQuotes(std::string_view text)
{
    constexpr std::size_t Shown = 80;
    if (text.size() <= Shown)
        return "„" + std::string(text) + "“";
    std::size_t cut = Shown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return "„" + std::string(text.substr(0, cut)) + "…“";
}

// One row of a table, its fields looked up by the columns asked for.
class Row {
public:
    Row(const csv::Record& record, const std::vector<int>& columns) : record_(record), columns_(columns) {}
    // The field of the k-th column asked for; empty where the column is
    // missing or the row is short.
    std::string_view operator[](std::size_t k) const
    {
        const int column = columns_[k];
        return column >= 0 ? record_.field(std::size_t(column)) : std::string_view();
    }
    bool hasColumn(std::size_t k) const { return columns_[k] >= 0; }

private:
    const csv::Record& record_;
    const std::vector<int>& columns_;
};

// Without blanks, tabs and line breaks at either end: a quoted name may end
// in a line break, which would be a blank on the sign.
std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

// A name from the feed, trimmed, as one form of Unicode: composed (NFC). A
// feed may write "ü" as "u" and a combining diaeresis, which Windows-1252
// would make "u?". Text that is not UTF-8 (Latin-1, Windows-1252) is an
// error, not a name full of replacement characters.
std::string nameFrom(std::string_view field)
{
    const std::string_view text = trimmed(field);
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(text);
    if (!QUtf8StringView(text.data(), qsizetype(text.size())).isValidUtf8())
        throw Error("der Text " + inQuotes(QString::fromUtf8(text.data(), qsizetype(text.size())).toStdString())
                    + " ist nicht in UTF-8 (vielleicht Latin-1 oder Windows-1252); ein Feed ist in UTF-8");
    return QString::fromUtf8(text.data(), qsizetype(text.size())).normalized(QString::NormalizationForm_C).toStdString();
}

// Reads one file of the feed: its header names the columns, in any order and
// with any others beside them. The columns asked for are the required ones,
// then the optional ones; a missing required column is an error. `onRow`
// gets every row after the header and the line it starts on.
// `onRow` is a template argument, not a std::function, so that the per-row
// work of stop_times.txt is inlined into the reader's callback.
template<typename OnRow>
void readTable(Feed& feed, std::string_view file, std::vector<std::string_view> required,
               std::vector<std::string_view> optional, const OnRow& onRow)
{
    std::unique_ptr<FeedFile> input = feed.openFile(file);
    std::vector<std::string_view> wanted = required;
    wanted.insert(wanted.end(), optional.begin(), optional.end());
    std::vector<int> columns;
    bool headerRead = false;
    const std::string name(file);
    csv::Reader* self = nullptr;
    csv::Reader reader([&](const csv::Record& record, std::uint64_t line) {
        if (!headerRead) {
            headerRead = true;
            // Two bytes a character, as some office programs save "Unicode".
            const std::string_view first = record.field(0);
            if (first.starts_with("\xFF\xFE") || first.starts_with("\xFE\xFF")
                || std::any_of(record.begin(), record.end(),
                               [](std::string_view field) { return field.find('\0') != std::string_view::npos; }))
                throw Error(name + " ist in UTF-16 gespeichert; ein Feed ist in UTF-8");
            columns.assign(wanted.size(), -1);
            for (std::size_t column = 0; column < record.size(); ++column)
                for (std::size_t k = 0; k < wanted.size(); ++k)
                    if (columns[k] < 0 && trimmed(record[column]) == wanted[k])
                        columns[k] = int(column);
            for (std::size_t k = 0; k < required.size(); ++k)
                if (columns[k] < 0)
                    throw Error("in " + name + " fehlt die Spalte " + std::string(required[k]));
            // The columns after the last one asked for are never split.
            self->setFieldsNeeded(std::size_t(*std::max_element(columns.begin(), columns.end()) + 1));
            return true;
        }
        try {
            onRow(Row(record, columns), line);
        } catch (const Placed&) {
            throw;
        } catch (const Error& error) {
            throw Placed(where(name, line) + error.what());
        }
        return true;
    });
    self = &reader;
    static constexpr std::size_t BufferSize = 1 << 18;
    const std::unique_ptr<char[]> buffer(new char[BufferSize]);
    for (;;) {
        const std::size_t count = input->read(buffer.get(), BufferSize);
        if (count == 0 ? !reader.finish() : !reader.feed(std::string_view(buffer.get(), count)))
            break;
        if (count == 0)
            break;
    }
    if (!reader.error().empty())
        throw Error(name + ": " + reader.error());
    if (!headerRead)
        throw Error(name + " ist leer");
}

std::uint32_t parseSequence(std::string_view text)
{
    text = trimmed(text);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw Error("stop_sequence " + inQuotes(text) + " ist keine ganze Zahl von 0 an");
    return value;
}

int parseDirection(std::string_view text)
{
    text = trimmed(text);
    if (text.empty())
        return -1;
    if (text == "0" || text == "1")
        return text[0] - '0';
    throw Error("direction_id " + inQuotes(text) + " ist weder 0 noch 1");
}

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return result;
}

std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Maps keyed by an id, looked up with a view into the row, without making a
// string of it first.
struct IdHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view id) const { return std::hash<std::string_view>()(id); }
};
using IdMap = std::unordered_map<std::string, std::uint32_t, IdHash, std::equal_to<>>;

// The ids of stops, trips and routes: a trip's looked up once per trip of
// stop_times.txt, a route's once per row of trips.txt, a stop's for each
// distinct stop list. An open-addressed table of (hash, entry) slots with
// the ids back to back in one string stays in the processor's cache where a
// node-based map of tens of thousands of stops does not, and a national
// feed's million trips take half the memory.
class IdTable {
public:
    // The value stored for `id`, or None; of ids appended twice, the first's.
    std::uint32_t find(std::string_view id) const
    {
        if (placed_ != entries_.size())
            placeAll();
        if (slots_.empty())
            return None;
        const std::uint32_t hash = hashOf(id);
        for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
            const Slot& slot = slots_[at];
            if (slot.entry == None)
                return None;
            if (slot.hash == hash && idOf(slot.entry) == id)
                return entries_[slot.entry].value;
        }
    }
    // Adds `id` with `value` unless present, in one probe; the value stored
    // before, or None when added.
    std::uint32_t add(std::string_view id, std::uint32_t value)
    {
        if (placed_ != entries_.size())
            placeAll();
        if ((entries_.size() + 1) * 2 > slots_.size())
            grow();
        const std::uint32_t hash = hashOf(id);
        std::size_t at = hash & mask_;
        for (; slots_[at].entry != None; at = (at + 1) & mask_)
            if (slots_[at].hash == hash && idOf(slots_[at].entry) == id)
                return entries_[slots_[at].entry].value;
        entries_.push_back({arena_.size(), id.size(), value, hash});
        arena_.append(id);
        slots_[at] = {hash, std::uint32_t(entries_.size() - 1)};
        placed_ = entries_.size();
        return None;
    }
    // Adds `id` without a look whether it is there, and without placing it
    // in the table: a feed mostly writes its trips in one order in both
    // files, and then their table is never needed. It is made on the first
    // find.
    void append(std::string_view id, std::uint32_t value)
    {
        entries_.push_back({arena_.size(), id.size(), value, hashOf(id)});
        arena_.append(id);
    }
    // The id added k-th.
    std::string_view idAt(std::uint32_t k) const { return idOf(k); }
    // The id stored with `value` (an error message's rare need).
    std::string_view idWith(std::uint32_t value) const
    {
        for (std::uint32_t entry = 0; entry < entries_.size(); ++entry)
            if (entries_[entry].value == value)
                return idOf(entry);
        return {};
    }

private:
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t entry = None;
    };
    struct Entry {
        std::size_t offset;
        std::size_t size;
        std::uint32_t value;
        std::uint32_t hash; // kept, so that growing reads no id again
    };
    static std::uint32_t hashOf(std::string_view id)
    {
        // FNV-1a, folded: ids are short.
        std::uint64_t hash = 1469598103934665603ull;
        for (const char c : id)
            hash = (hash ^ std::uint8_t(c)) * 1099511628211ull;
        return std::uint32_t(hash ^ (hash >> 32));
    }
    std::string_view idOf(std::uint32_t entry) const
    {
        return std::string_view(arena_).substr(entries_[entry].offset, entries_[entry].size);
    }
    void place(std::uint32_t hash, std::uint32_t entry) const
    {
        std::size_t at = hash & mask_;
        while (slots_[at].entry != None)
            at = (at + 1) & mask_;
        slots_[at] = {hash, entry};
    }
    void grow() const
    {
        slots_.assign(std::max<std::size_t>(64, slots_.size() * 2), Slot());
        mask_ = slots_.size() - 1;
        for (std::uint32_t entry = 0; entry < placed_; ++entry)
            place(entries_[entry].hash, entry);
    }
    // The entries appended, placed in order, so that of two equal ids the
    // first is found.
    void placeAll() const
    {
        std::size_t size = 64;
        while (size < entries_.size() * 2 + 2)
            size *= 2;
        slots_.assign(size, Slot());
        mask_ = size - 1;
        for (std::uint32_t entry = 0; entry < entries_.size(); ++entry)
            place(entries_[entry].hash, entry);
        placed_ = entries_.size();
    }

    // Made when needed, also from find.
    mutable std::vector<Slot> slots_;
    mutable std::size_t mask_ = 0;
    mutable std::size_t placed_ = 0; // the entries in slots_
    std::vector<Entry> entries_;
    std::string arena_;
};

// Interned strings: a trip's headsign is one of a few per route.
class Pool {
public:
    std::uint32_t add(std::string_view text)
    {
        if (text.empty())
            return None;
        const auto found = ids_.find(text);
        if (found != ids_.end())
            return found->second;
        const auto it = ids_.emplace(std::string(text), std::uint32_t(texts_.size())).first;
        texts_.push_back(&it->first);
        return it->second;
    }
    const std::string& operator[](std::uint32_t id) const { return *texts_[id]; }

private:
    IdMap ids_;
    std::vector<const std::string*> texts_;
};

struct StopEntry {
    std::string name;
    std::string pronunciation;
    std::string parent;
    std::uint64_t line = 0;       // in stops.txt
    std::uint64_t repeatedAt = 0; // the line of a second stop of the same id
    bool known = true;
};

// The routes taken as one line, and what keeps it from a stop list.
struct Line {
    std::vector<std::uint32_t> routes; // in the order of routes.txt
    std::string problem;
    bool demandResponsive = false;
};

// A stop sequence as read: (stop_sequence, stop) pairs in order, one copy
// shared by every trip that runs it.
using Sequence = std::vector<std::uint64_t>;

struct SequenceHash {
    std::size_t operator()(const Sequence& sequence) const
    {
        std::uint64_t hash = 1469598103934665603ull;
        for (const std::uint64_t value : sequence)
            hash = (hash ^ value) * 1099511628211ull;
        return std::size_t(hash);
    }
};

struct TripEntry {
    std::uint32_t route;             // in routes_
    int direction;
    std::uint32_t headsign;          // trip_headsign, or None
    std::uint32_t sequence = None;   // the interned sequence, once rows are seen
    std::uint32_t firstSequence = None; // the lowest stop_sequence seen
    std::uint32_t firstHeadsign = None; // that row's stop_headsign
    bool dropped = false;            // its line has a problem: rows are not kept
};

class Reading {
public:
    explicit Reading(Feed& feed) : feed_(feed) {}

    void readRoutes()
    {
        std::unordered_map<std::string, std::string> agencies;
        if (feed_.has("agency.txt"))
            readTable(feed_, "agency.txt", {}, {"agency_id", "agency_name"}, [&](const Row& row, std::uint64_t) {
                agencies.emplace(std::string(trimmed(row[0])), nameFrom(row[1]));
            });
        readTable(feed_, "routes.txt", {"route_id"}, {"agency_id", "route_short_name", "route_long_name", "route_type"},
                  [&](const Row& row, std::uint64_t) {
                      Route route;
                      route.id = std::string(row[0]);
                      const auto agency = agencies.find(std::string(trimmed(row[1])));
                      // A feed of one agency may leave agency_id out.
                      if (agency != agencies.end())
                          route.agency = agency->second;
                      else if (agencies.size() == 1)
                          route.agency = agencies.begin()->second;
                      route.shortName = nameFrom(row[2]);
                      route.longName = nameFrom(row[3]);
                      const std::string_view type = trimmed(row[4]);
                      std::from_chars(type.data(), type.data() + type.size(), route.type);
                      routeIndex_.add(route.id, std::uint32_t(routes_.size()));
                      routes_.push_back(std::move(route));
                  });
    }

    // Every line: the routes of one short name and agency together, a
    // route without a short name alone.
    void wantAll()
    {
        std::map<std::pair<std::string, std::string>, std::uint32_t> byName;
        lineOf_.assign(routes_.size(), None);
        for (std::uint32_t i = 0; i < routes_.size(); ++i) {
            const Route& route = routes_[i];
            std::uint32_t line = std::uint32_t(lines_.size());
            if (!route.shortName.empty())
                line = byName.try_emplace({route.shortName, route.agency}, line).first->second;
            if (line == lines_.size())
                lines_.emplace_back();
            lines_[line].routes.push_back(i);
            lineOf_[i] = line;
        }
    }

    // Marks the routes a rider calls `name`; throws when there are none or
    // they are ambiguous.
    void want(const std::string& typed)
    {
        // Composed as the feed's names are; what is no UTF-8 matches nothing.
        std::string name = typed;
        try {
            name = nameFrom(typed);
        } catch (const Error&) {
        }
        std::vector<std::uint32_t> found;
        const auto collect = [&](const std::function<bool(const Route&)>& matches) {
            for (std::uint32_t i = 0; i < routes_.size(); ++i)
                if (matches(routes_[i]))
                    found.push_back(i);
        };
        collect([&](const Route& route) { return route.shortName == name; });
        asked_ = name;
        if (found.empty())
            collect([&](const Route& route) { return route.id == name; });
        if (found.empty())
            collect([&](const Route& route) { return !route.longName.empty() && lowered(route.longName) == lowered(name); });
        if (found.empty())
            throw Error("die Linie " + inQuotes(name) + " gibt es im Feed nicht" + closeNames(name));
        const std::string& agency = routes_[found[0]].agency;
        for (const std::uint32_t i : found)
            if (routes_[i].agency != agency) {
                std::string ids;
                for (const std::uint32_t j : found)
                    ids += (ids.empty() ? "" : ", ") + routes_[j].id + " (" + routes_[j].agency + ")";
                throw Error("die Linie " + inQuotes(name) + " fahren mehrere Verkehrsunternehmen; --linie mit einer route_id wählt eine: " + ids);
            }
        lineOf_.assign(routes_.size(), None);
        for (const std::uint32_t i : found)
            lineOf_[i] = 0;
        lines_.assign(1, Line{found, {}, false});
        single_ = true;
    }

    void readTrips()
    {
        readTable(feed_, "trips.txt", {"route_id", "trip_id"}, {"direction_id", "trip_headsign"},
                  [&](const Row& row, std::uint64_t line) {
                      const std::uint32_t route = routeIndex_.find(row[0]);
                      if (route == None || lineOf_[route] == None)
                          return;
                      int direction = -1;
                      try {
                          direction = parseDirection(row[2]);
                      } catch (const Error& error) {
                          fault(lineOf_[route], where("trips.txt", line) + error.what());
                          return;
                      }
                      // The k-th id of the table is the k-th trip. A trip_id
                      // given twice is a broken feed: one of the two gets
                      // the rows.
                      tripIndex_.append(row[1], std::uint32_t(trips_.size()));
                      trips_.push_back(TripEntry{route, direction, headsigns_.add(nameFrom(row[3]))});
                  });
    }

    void readStops()
    {
        readTable(feed_, "stops.txt", {"stop_id"}, {"stop_name", "parent_station", "tts_stop_name"},
                  [&](const Row& row, std::uint64_t line) {
                      const std::uint32_t earlier = stopIndex_.add(row[0], std::uint32_t(stops_.size()));
                      if (earlier != None) {
                          // The first of the same id holds; where a list uses
                          // it, the user is told.
                          if (!stops_[earlier].repeatedAt)
                              stops_[earlier].repeatedAt = line;
                          return;
                      }
                      stops_.push_back(StopEntry{nameFrom(row[1]), nameFrom(row[3]), std::string(trimmed(row[2])), line});
                  });
    }

    void readStopTimes()
    {
        lastRaw_.assign(routes_.size() * 3, nullptr);
        // GTFS-Flex: a row that serves a zone or a group of stops, or
        // serves on demand within a time window, has no fixed stop.
        readTable(feed_, "stop_times.txt", {"trip_id", "stop_id", "stop_sequence"},
                  {"stop_headsign", "location_id", "location_group_id", "start_pickup_drop_off_window"},
                  [&](const Row& row, std::uint64_t line) {
                      const std::string_view tripId = row[0];
                      // Rows of one trip mostly come together: the lookup is
                      // made once per trip, not once per row.
                      if (tripId != currentTripId_) {
                          endTrip();
                          currentTripId_.assign(tripId);
                          // Feeds mostly write their trips in the same order
                          // in both files: the trip after the last one found
                          // is tried first, in memory read in order, before
                          // the table's lookup, which misses the cache.
                          const std::uint32_t next = lastTrip_ + 1; // from None: 0
                          currentTrip_ = next < trips_.size() && tripIndex_.idAt(next) == tripId
                                             ? next
                                             : tripIndex_.find(currentTripId_);
                          if (currentTrip_ != None)
                              lastTrip_ = currentTrip_;
                          if (currentTrip_ != None
                              && (trips_[currentTrip_].dropped
                                  || !lines_[lineOf_[trips_[currentTrip_].route]].problem.empty()))
                              currentTrip_ = None;
                          // What earlier rows of the trip left counts towards its bound.
                          rowsBefore_ = currentTrip_ != None && trips_[currentTrip_].sequence != None
                                            ? sequences_[trips_[currentTrip_].sequence].size()
                                            : 0;
                          // A trip's rows are first held against those the
                          // route's last trip in this direction ran.
                          following_ = currentTrip_ != None && trips_[currentTrip_].sequence == None
                                           ? lastRaw_[rawSlot(trips_[currentTrip_])]
                                           : nullptr;
                          matched_ = 0;
                      }
                      if (currentTrip_ == None)
                          return;
                      TripEntry& trip = trips_[currentTrip_];
                      if ((row.hasColumn(4) && !trimmed(row[4]).empty()) || (row.hasColumn(5) && !trimmed(row[5]).empty())
                          || (row.hasColumn(6) && !trimmed(row[6]).empty())) {
                          demandResponsive(lineOf_[trip.route]);
                          return;
                      }
                      if (rowsBefore_ + rows_ >= MaxRowsPerTrip) {
                          fault(lineOf_[trip.route], where("stop_times.txt", line) + "die Fahrt " + inQuotes(tripId)
                                                         + " hat mehr als " + std::to_string(MaxRowsPerTrip)
                                                         + " Halte; so lang fährt keine Linie");
                          return;
                      }
                      std::uint32_t sequence = 0;
                      try {
                          sequence = parseSequence(row[2]);
                      } catch (const Error& error) {
                          fault(lineOf_[trip.route], where("stop_times.txt", line) + error.what());
                          return;
                      }
                      // The stop is looked up when the trip ends, and only
                      // if no trip before ran the same rows.
                      addRow(sequence, row[1]);
                      if (trip.firstSequence == None || sequence < trip.firstSequence) {
                          trip.firstSequence = sequence;
                          trip.firstHeadsign = headsigns_.add(nameFrom(row[3]));
                      }
                  });
        endTrip();
    }

    // Every line asked for, with its directions or its problem.
    std::vector<Route> routes()
    {
        // Trips counted per line, direction and interned sequence, which is
        // cheap per trip; then by the stops of each distinct sequence.
        std::vector<std::map<std::pair<int, std::uint32_t>, Count>> bySequence(lines_.size());
        for (const TripEntry& trip : trips_) {
            if (trip.sequence == None || trip.dropped)
                continue;
            Count& count = bySequence[lineOf_[trip.route]][{trip.direction, trip.sequence}];
            ++count.trips;
            ++count.headsigns[trip.headsign != None ? trip.headsign : trip.firstHeadsign];
            count.routes.insert(trip.route);
        }
        std::vector<Route> result;
        for (std::uint32_t i = 0; i < lines_.size(); ++i) {
            Line& line = lines_[i];
            Route route = routes_[line.routes.front()];
            for (const std::uint32_t member : line.routes)
                route.routeIds.push_back(routes_[member].id);
            if (line.problem.empty()) {
                try {
                    route.directions = directionsOf(bySequence[i]);
                } catch (const Zone&) {
                    demandResponsive(i);
                } catch (const Error& error) {
                    fault(i, error.what());
                }
            }
            route.problem = line.problem;
            route.demandResponsive = line.demandResponsive;
            result.push_back(std::move(route));
        }
        return result;
    }

private:
    // Trips on one stop list: how many, to which destinations, of which routes.
    struct Count {
        std::uint64_t trips = 0;
        std::map<std::uint32_t, std::uint64_t> headsigns;
        std::set<std::uint32_t> routes;
        void add(const Count& other)
        {
            trips += other.trips;
            for (const auto& [headsign, count] : other.headsigns)
                headsigns[headsign] += count;
            routes.insert(other.routes.begin(), other.routes.end());
        }
    };
    using Stops = std::vector<std::uint32_t>;

    // The directions of one line from its trips, counted by (direction_id,
    // interned sequence). A stop list is the same however its stop_sequence
    // values run.
    std::vector<Direction> directionsOf(const std::map<std::pair<int, std::uint32_t>, Count>& bySequence) const
    {
        const auto stopsOf = [&](std::uint32_t sequence) {
            Stops stops;
            for (const std::uint64_t entry : sequences_[sequence])
                stops.push_back(std::uint32_t(entry));
            return stops;
        };
        const bool inferred = std::none_of(bySequence.begin(), bySequence.end(),
                                           [](const auto& entry) { return entry.first.first >= 0; });
        // Without any direction_id, the way of the most common stop list of
        // the line's first route (with trips) is direction 0.
        std::uint32_t firstRoute = None;
        for (const auto& [key, count] : bySequence)
            firstRoute = std::min(firstRoute, *count.routes.begin());
        const Count* reference = nullptr;
        std::uint32_t referenceSequence = None;
        for (const auto& [key, count] : bySequence)
            if (count.routes.contains(firstRoute) && (!reference || count.trips > reference->trips)) {
                reference = &count;
                referenceSequence = key.second;
            }
        std::unordered_map<std::uint32_t, std::size_t> position;
        if (inferred && reference) {
            const Stops stops = stopsOf(referenceSequence);
            for (std::size_t at = 0; at < stops.size(); ++at)
                position.try_emplace(stops[at], at);
        }

        std::map<int, std::map<Stops, Count>> counts;
        for (const auto& [key, counted] : bySequence) {
            Stops stops = stopsOf(key.second);
            int id = key.first;
            if (inferred) {
                // The stops it shares with the reference list: mostly in its
                // order, or mostly against it. Where that does not tell (no
                // stop or one in common), a route of its own is the way back.
                long long way = 0;
                std::size_t last = SIZE_MAX;
                for (const std::uint32_t stop : stops) {
                    const auto found = position.find(stop);
                    if (found == position.end())
                        continue;
                    if (last != SIZE_MAX && found->second != last)
                        way += found->second > last ? 1 : -1;
                    last = found->second;
                }
                id = way > 0 || (way == 0 && counted.routes.contains(firstRoute)) ? 0 : 1;
            }
            counts[id][std::move(stops)].add(counted);
        }

        std::vector<Direction> directions;
        for (const auto& [id, byStops] : counts) {
            const Stops* best = nullptr;
            const Count* bestCount = nullptr;
            std::uint64_t total = 0;
            std::set<std::uint32_t> routes;
            for (const auto& [stops, count] : byStops) {
                total += count.trips;
                routes.insert(count.routes.begin(), count.routes.end());
                // Most trips; of as many, the longer list.
                if (!best || count.trips > bestCount->trips
                    || (count.trips == bestCount->trips && stops.size() > best->size())) {
                    best = &stops;
                    bestCount = &count;
                }
            }
            Direction direction;
            direction.id = id;
            direction.inferred = inferred;
            for (const std::uint32_t route : routes)
                direction.routeIds.push_back(routes_[route].id);
            direction.tripsOnSequence = bestCount->trips;
            direction.tripsOnOthers = total - bestCount->trips;
            for (const std::uint32_t stop : *best) {
                direction.stops.push_back(nameOf(stop));
                direction.pronunciations.push_back(stops_[stop].pronunciation);
                // The k-th id of the table is the k-th stop.
                direction.stopIds.emplace_back(stopIndex_.idAt(stop));
                direction.stations.push_back(stops_[stop].parent);
                if (!stops_[stop].repeatedAt)
                    continue;
                std::string note = "stops.txt nennt die Haltestelle " + inQuotes(lookupIdOf(stop)) + " zweimal, in Zeile "
                                   + std::to_string(stops_[stop].line) + " und " + std::to_string(stops_[stop].repeatedAt)
                                   + "; es gilt die erste";
                // A ring calls at its first stop again.
                if (std::find(direction.notes.begin(), direction.notes.end(), note) == direction.notes.end())
                    direction.notes.push_back(std::move(note));
            }
            std::uint32_t headsign = None;
            std::uint64_t most = 0;
            for (const auto& [headsignId, trips] : bestCount->headsigns)
                if (headsignId != None && trips > most) {
                    headsign = headsignId;
                    most = trips;
                }
            direction.destination = headsign != None ? headsigns_[headsign]
                                    : direction.stops.empty() ? std::string() : direction.stops.back();
            directions.push_back(std::move(direction));
        }
        return directions;
    }

    // The line cannot give a stop list: asked for alone, it is refused at
    // once; in a listing it is marked, and its trips' rows are no longer kept.
    void fault(std::uint32_t line, const std::string& message, bool demandResponsive = false)
    {
        if (single_)
            throw Placed(demandResponsive ? "die Linie " + inQuotes(asked_) + " ist ein Rufbus nach Bedarf "
                                                                              "(GTFS-Flex) ohne feste Haltestellen"
                                          : message);
        if (line == None || !lines_[line].problem.empty())
            return;
        lines_[line].problem = message;
        lines_[line].demandResponsive = demandResponsive;
        if (currentTrip_ != None && lineOf_[trips_[currentTrip_].route] == line) {
            trips_[currentTrip_].dropped = true;
            currentTrip_ = None;
            raw_.clear();
            rows_ = 0;
            following_ = nullptr;
        }
    }

    void demandResponsive(std::uint32_t line)
    {
        fault(line, "Rufbus nach Bedarf (GTFS-Flex), ohne feste Haltestellen", true);
    }

    std::string closeNames(const std::string& name) const
    {
        std::vector<std::pair<std::size_t, std::string>> near;
        const std::string wanted = lowered(name);
        for (const Route& route : routes_) {
            const std::string& candidate = route.shortName.empty() ? route.id : route.shortName;
            std::size_t distance = editDistance(wanted, lowered(candidate));
            if (!route.longName.empty())
                distance = std::min(distance, editDistance(wanted, lowered(route.longName)));
            near.emplace_back(distance, candidate);
        }
        std::sort(near.begin(), near.end());
        near.erase(std::unique(near.begin(), near.end(),
                               [](const auto& a, const auto& b) { return a.second == b.second; }),
                   near.end());
        std::string text;
        for (std::size_t i = 0; i < near.size() && i < 5; ++i)
            text += (i == 0 ? "; ähnliche Namen: " : ", ") + near[i].second;
        return text;
    }

    std::uint32_t stopFor(std::string_view id)
    {
        const std::uint32_t found = stopIndex_.find(id);
        if (found != None)
            return found;
        lookup_.assign(id);
        // Kept apart as unknown: only a list that uses it is refused.
        StopEntry unknown;
        unknown.name = lookup_;
        unknown.known = false;
        stopIndex_.add(lookup_, std::uint32_t(stops_.size()));
        stops_.push_back(std::move(unknown));
        return std::uint32_t(stops_.size() - 1);
    }

    // Per route and direction (-1, 0, 1).
    static std::size_t rawSlot(const TripEntry& trip) { return std::size_t(trip.route) * 3 + std::size_t(trip.direction + 1); }

    // A row of the current trip, as read. While the rows are those the
    // route's last trip in this direction ran, they are only compared with
    // them, in memory read in order; at the first other row the rows so far
    // are copied and gathering goes on from there.
    void addRow(std::uint32_t sequence, std::string_view stopId)
    {
        const std::uint32_t header[2] = {sequence, std::uint32_t(stopId.size())};
        rows_ += 1;
        if (following_) {
            const std::string& expected = following_->first;
            if (expected.size() - matched_ >= sizeof header + stopId.size()
                && std::memcmp(expected.data() + matched_, header, sizeof header) == 0
                && std::memcmp(expected.data() + matched_ + sizeof header, stopId.data(), stopId.size()) == 0) {
                matched_ += sizeof header + stopId.size();
                return;
            }
            raw_.assign(expected, 0, matched_);
            following_ = nullptr;
        }
        raw_.append(reinterpret_cast<const char*>(header), sizeof header).append(stopId);
    }

    // The rows gathered for the current trip join what earlier rows of the
    // same trip gave (rows may come in any order), and the trip's sequence is
    // interned anew.
    //
    // The trips of a route mostly run a few stop lists, written alike: the
    // rows as read (stop_sequence and stop_id) find the list of an earlier
    // trip at once, without a lookup of each stop in a table of a national
    // feed's hundreds of thousands, which misses the processor's cache.
    void endTrip()
    {
        if (currentTrip_ == None || rows_ == 0) {
            raw_.clear();
            rows_ = 0;
            return;
        }
        TripEntry& trip = trips_[currentTrip_];
        const bool whole = trip.sequence == None;
        if (whole) {
            const RawEntry*& last = lastRaw_[rawSlot(trip)];
            if (following_ && matched_ == following_->first.size()) {
                // The same rows as the route's last trip in this direction.
                last = following_;
            } else {
                if (following_)
                    raw_.assign(following_->first, 0, matched_);
                const auto known = rawSequences_.find(raw_);
                last = known != rawSequences_.end() ? &*known : nullptr;
            }
            following_ = nullptr;
            if (last) {
                trip.sequence = last->second;
                raw_.clear();
                rows_ = 0;
                return;
            }
        }
        pending_.clear();
        for (std::size_t at = 0; at < raw_.size();) {
            std::uint32_t header[2];
            std::memcpy(header, raw_.data() + at, sizeof header);
            at += sizeof header;
            pending_.push_back(std::uint64_t(header[0]) << 32 | stopFor(std::string_view(raw_).substr(at, header[1])));
            at += header[1];
        }
        if (!whole) {
            // Appended one by one: GCC 14 takes a range insert here for an
            // overflow that cannot happen (-Wstringop-overflow).
            const Sequence& earlier = sequences_[trip.sequence];
            pending_.reserve(pending_.size() + earlier.size());
            std::copy(earlier.begin(), earlier.end(), std::back_inserter(pending_));
        }
        // Rows mostly come in order: sorted only when they did not.
        const auto bySequence = [](std::uint64_t a, std::uint64_t b) { return (a >> 32) < (b >> 32); };
        if (!std::is_sorted(pending_.begin(), pending_.end(), bySequence))
            std::stable_sort(pending_.begin(), pending_.end(), bySequence);
        const auto [it, added] = sequenceIds_.try_emplace(pending_, std::uint32_t(sequences_.size()));
        if (added)
            sequences_.push_back(it->first);
        trip.sequence = it->second;
        // Kept within bounds: a feed whose every trip runs its own rows
        // would otherwise hold its stop_times.txt a second time.
        if (whole && rawBytes_ + raw_.size() <= MaxRawBytes) {
            rawBytes_ += raw_.size();
            lastRaw_[rawSlot(trip)] = &*rawSequences_.emplace(std::move(raw_), trip.sequence).first;
        }
        raw_.clear();
        rows_ = 0;
    }

    std::string nameOf(std::uint32_t stop) const
    {
        const StopEntry& entry = stops_[stop];
        // A feed of GTFS-Flex names its zones elsewhere.
        if (!entry.known && (feed_.has("locations.geojson") || feed_.has("location_groups.txt")))
            throw Zone(entry.name);
        if (!entry.known)
            throw Error("die Haltestelle " + inQuotes(entry.name) + " aus stop_times.txt fehlt in stops.txt");
        if (!entry.name.empty())
            return entry.name;
        // A stop without a name of its own (a platform, an entrance) is
        // called by its station's.
        const std::uint32_t parent = stopIndex_.find(entry.parent);
        if (parent != None && !stops_[parent].name.empty())
            return stops_[parent].name;
        throw Error("die Haltestelle " + inQuotes(lookupIdOf(stop)) + " hat keinen Namen");
    }

    std::string lookupIdOf(std::uint32_t stop) const { return std::string(stopIndex_.idWith(stop)); }

    Feed& feed_;
    std::vector<Route> routes_;
    IdTable routeIndex_;
    std::vector<Line> lines_;
    std::vector<std::uint32_t> lineOf_; // per route: its line, or None where not asked for
    bool single_ = false;               // one line asked for, by this name
    std::string asked_;
    std::vector<TripEntry> trips_;
    IdTable tripIndex_;
    std::uint32_t lastTrip_ = None; // the trip of stop_times.txt last found
    std::vector<StopEntry> stops_;
    IdTable stopIndex_;
    Pool headsigns_;
    std::vector<Sequence> sequences_;
    std::unordered_map<Sequence, std::uint32_t, SequenceHash> sequenceIds_;
    std::string currentTripId_;
    std::uint32_t currentTrip_ = None;
    // The current trip's rows as read: per row its stop_sequence and the
    // length of its stop_id (4 bytes each, as in memory), then the stop_id.
    std::string raw_;
    std::size_t rows_ = 0;
    std::size_t rowsBefore_ = 0; // rows of the current trip read before its rows came back
    static constexpr std::size_t MaxRawBytes = std::size_t(64) << 20;
    std::unordered_map<std::string, std::uint32_t> rawSequences_;
    using RawEntry = std::pair<const std::string, std::uint32_t>;
    // Per route and direction (-1, 0, 1): the rows its last trip ran.
    std::vector<const RawEntry*> lastRaw_;
    const RawEntry* following_ = nullptr; // what the current trip's rows match so far
    std::size_t matched_ = 0;             // how many bytes of it
    std::size_t rawBytes_ = 0;
    Sequence pending_;
    std::string lookup_;
};

void sortDirections(std::vector<Route>& routes)
{
    for (Route& route : routes)
        std::sort(route.directions.begin(), route.directions.end(),
                  [](const Direction& a, const Direction& b) { return a.id < b.id; });
}

// The calls at the stops of a route's list that are kept to find the lines
// there: 8 bytes each, 64 MB in all. A stop of a national feed's largest
// station sees tens of thousands of trips.
constexpr std::size_t MaxCalls = std::size_t(8) << 20;

} // namespace

std::vector<std::vector<CallingLine>> callingLines(Feed& feed, const Route& own, const std::vector<std::string>& stopIds,
                                                   const std::vector<std::string>& stations)
{
    // A stop's group is its station, or the stop itself where it has none:
    // the platforms of one station are one place to change at.
    IdMap groupOf;
    std::vector<std::uint32_t> groupOfStop;
    for (std::size_t i = 0; i < stopIds.size(); ++i) {
        const std::string& key = i < stations.size() && !stations[i].empty() ? stations[i] : stopIds[i];
        groupOfStop.push_back(groupOf.try_emplace(key, std::uint32_t(groupOf.size())).first->second);
    }

    // Every stop of those groups: the stop, its station and the station's
    // other stops. (Looked up for each row of stop_times.txt: an
    // open-addressed table, mostly one probe to an empty slot for a stop not
    // among them.)
    IdTable groupOfServed;
    readTable(feed, "stops.txt", {"stop_id"}, {"parent_station"}, [&](const Row& row, std::uint64_t) {
        const std::string_view parent = trimmed(row[1]);
        const auto group = groupOf.find(parent.empty() ? row[0] : parent);
        if (group != groupOf.end())
            groupOfServed.add(row[0], group->second);
    });

    // The trips that call there, each with the group called at. Of most
    // rows only the stop_id is looked up, in a table of a few dozen ids.
    IdTable tripIndex;
    std::uint32_t tripCount = 0;
    std::vector<std::uint64_t> calls;
    std::string lastTripId;
    std::uint32_t lastTrip = None;
    readTable(feed, "stop_times.txt", {"trip_id", "stop_id"}, {}, [&](const Row& row, std::uint64_t) {
        const std::uint32_t group = groupOfServed.find(row[1]);
        if (group == None)
            return;
        if (lastTrip == None || row[0] != lastTripId) {
            lastTripId.assign(row[0]);
            lastTrip = tripIndex.add(lastTripId, tripCount);
            if (lastTrip == None)
                lastTrip = tripCount++;
        }
        const std::uint64_t call = std::uint64_t(lastTrip) << 32 | group;
        if (!calls.empty() && calls.back() == call)
            return;
        if (calls.size() == MaxCalls)
            throw Error("an den Haltestellen der Linie halten mehr als " + std::to_string(MaxCalls)
                        + " Fahrten; so viele wertet die Zusatzdatei nicht aus");
        calls.push_back(call);
    });

    // Each trip's route, and each route's name and mode; the routes of the
    // line itself are left out.
    std::vector<std::uint32_t> routeOfTrip(tripCount, None);
    std::vector<CallingLine> routes;
    IdTable routeIndex;
    if (tripCount > 0) {
        readTable(feed, "routes.txt", {"route_id"}, {"route_short_name", "route_long_name", "route_type"},
                  [&](const Row& row, std::uint64_t) {
                      if (std::find(own.routeIds.begin(), own.routeIds.end(), row[0]) != own.routeIds.end())
                          return;
                      CallingLine line;
                      line.name = nameFrom(row[1]);
                      if (line.name.empty())
                          line.name = nameFrom(row[2]);
                      const std::string_view type = trimmed(row[3]);
                      std::from_chars(type.data(), type.data() + type.size(), line.type);
                      if (routeIndex.add(row[0], std::uint32_t(routes.size())) == None)
                          routes.push_back(std::move(line));
                  });
        readTable(feed, "trips.txt", {"route_id", "trip_id"}, {}, [&](const Row& row, std::uint64_t) {
            const std::uint32_t trip = tripIndex.find(row[1]);
            if (trip != None && routeOfTrip[trip] == None)
                routeOfTrip[trip] = routeIndex.find(row[0]);
        });
    }

    std::vector<std::set<CallingLine>> byGroup(groupOf.size());
    for (const std::uint64_t call : calls) {
        const std::uint32_t route = routeOfTrip[call >> 32];
        if (route != None)
            byGroup[std::uint32_t(call)].insert(routes[route]);
    }
    std::vector<std::vector<CallingLine>> result;
    for (const std::uint32_t group : groupOfStop)
        result.emplace_back(byGroup[group].begin(), byGroup[group].end());
    return result;
}

std::string modeName(int routeType)
{
    switch (routeType) {
    case 0:
    case 900:
        return "Straßenbahn";
    case 1:
    case 400:
        return "U-Bahn";
    case 2:
    case 100:
    case 109:
        return "Zug";
    case 3:
    case 700:
        return "Bus";
    case 4:
    case 1000:
        return "Fähre";
    case 5:
        return "Kabelstraßenbahn";
    case 6:
    case 1300:
        return "Seilbahn";
    case 7:
    case 1400:
        return "Standseilbahn";
    case 11:
    case 800:
        return "Oberleitungsbus";
    case 12:
        return "Einschienenbahn";
    default:
        if (routeType >= 100 && routeType < 200)
            return "Zug";
        if (routeType >= 700 && routeType < 800)
            return "Bus";
        if (routeType >= 900 && routeType < 1000)
            return "Straßenbahn";
        return "Verkehrsmittel " + std::to_string(routeType);
    }
}

std::vector<Route> listRoutes(Feed& feed)
{
    Reading reading(feed);
    reading.readRoutes();
    reading.wantAll();
    reading.readTrips();
    reading.readStops();
    reading.readStopTimes();
    std::vector<Route> routes = reading.routes();
    sortDirections(routes);
    return routes;
}

Route readRoute(Feed& feed, const std::string& name)
{
    Reading reading(feed);
    reading.readRoutes();
    reading.want(name);
    reading.readTrips();
    reading.readStops();
    reading.readStopTimes();
    std::vector<Route> routes = reading.routes();
    sortDirections(routes);
    return std::move(routes.front());
}

} // namespace transit
