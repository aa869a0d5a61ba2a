#include "interchange.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <map>
#include <string_view>

namespace transit {

namespace {

// A mode as a sentence names it: with one line ("zur Straßenbahn 3") and
// with several ("zu den Straßenbahnlinien 3 und 5"). In the order the
// sentence names them.
struct Mode {
    const char* one;
    const char* several;
};

enum ModeIndex { Train, SBahn, UBahn, Tram, Trolleybus, Bus, Coach, Ferry, AerialLift, Funicular, CableTram, Monorail,
                 Taxi, Other };

constexpr Mode modes[] = {
    {"zum Zug", "zu den Zügen"},
    {"zur S-Bahn", "zu den S-Bahn-Linien"},
    {"zur U-Bahn", "zu den U-Bahn-Linien"},
    {"zur Straßenbahn", "zu den Straßenbahnlinien"},
    {"zum Obus", "zu den Obuslinien"},
    {"zum Bus", "zu den Buslinien"},
    {"zum Fernbus", "zu den Fernbuslinien"},
    {"zur Fähre", "zu den Fährlinien"},
    {"zur Seilbahn", "zu den Seilbahnen"},
    {"zur Standseilbahn", "zu den Standseilbahnen"},
    {"zur Kabelstraßenbahn", "zu den Kabelstraßenbahnen"},
    {"zur Einschienenbahn", "zu den Einschienenbahnen"},
    {"zum Linientaxi", "zu den Linientaxis"},
    {"zur Linie", "zu den Linien"},
};

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

// A train named "S1", "S 41" or "S8X" is an S-Bahn, whatever rail type the
// feed gives it: most feeds give an S-Bahn the basic type 2, rail.
bool sBahnName(std::string_view name)
{
    if (name.size() < 2 || name[0] != 'S')
        return false;
    return digit(name[1]) || (name[1] == ' ' && name.size() > 2 && digit(name[2]));
}

// The basic route types 0 to 12 and the extended groups of 100 (100 rail,
// 200 coach, 300 suburban rail, 400 urban rail, 500 metro, 600 underground,
// 700 bus, 800 trolleybus, 900 tram, 1000 water, 1200 ferry, 1300 aerial
// lift, 1400 funicular, 1500 taxi); air, self-drive, miscellaneous and types
// not known are lines without a mode.
ModeIndex modeOf(int type, std::string_view name)
{
    switch (type) {
    case 0:
        return Tram;
    case 1:
        return UBahn;
    case 2:
        return sBahnName(name) ? SBahn : Train;
    case 3:
        return Bus;
    case 4:
        return Ferry;
    case 5:
        return CableTram;
    case 6:
        return AerialLift;
    case 7:
        return Funicular;
    case 11:
        return Trolleybus;
    case 12:
    case 405:
        return Monorail;
    case 109:
        return SBahn;
    default:
        break;
    }
    switch (type / 100) {
    case 1:
        return sBahnName(name) ? SBahn : Train;
    case 2:
        return Coach;
    case 3:
        return SBahn;
    case 4:
    case 5:
    case 6:
        return UBahn;
    case 7:
        return Bus;
    case 8:
        return Trolleybus;
    case 9:
        return Tram;
    case 10:
    case 12:
        return Ferry;
    case 13:
        return AerialLift;
    case 14:
        return Funicular;
    case 15:
        return Taxi;
    default:
        return Other;
    }
}

// The name on one line of text: control characters and line separators
// become blanks, runs of blanks one. Empty where the name is longer than the
// sentence takes.
std::string sayable(const std::string& name)
{
    QString text = QString::fromUtf8(name.data(), qsizetype(name.size()));
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0) || c.unicode() == 0x2028
            || c.unicode() == 0x2029)
            c = u' ';
    text = text.simplified();
    if (std::size_t(text.toUcs4().size()) > MaxLineNameLength)
        return {};
    return text.toStdString();
}

// "3" before "5" before "42" before "S1" before "S10": runs of digits
// compared as numbers.
bool numberedBefore(std::string_view a, std::string_view b)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && digit(a[endA]))
                ++endA;
            while (endB < b.size() && digit(b[endB]))
                ++endB;
            if (endA - i != endB - j)
                return endA - i < endB - j;
            const int order = a.substr(i, endA - i).compare(b.substr(j, endB - j));
            if (order != 0)
                return order < 0;
            i = endA;
            j = endB;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

// "a", "a und b", "a, b und c".
std::string listed(const std::vector<std::string>& parts)
{
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " und " : ", ") + parts[i];
    return text;
}

} // namespace

std::string interchangeText(const std::vector<CallingLine>& lines)
{
    // Per mode its names, each once; a line without a name (or with one too
    // long to say) counts where its mode has no named line.
    std::map<ModeIndex, std::vector<std::string>> named;
    std::map<ModeIndex, bool> unnamed;
    for (const CallingLine& line : lines) {
        const ModeIndex mode = modeOf(line.type, line.name);
        std::string name = sayable(line.name);
        std::vector<std::string>& names = named[mode];
        if (name.empty())
            unnamed[mode] = true;
        else if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
    }

    // The lines in the order said; an empty name stands for a mode's lines
    // without one.
    std::vector<std::pair<ModeIndex, std::string>> said;
    for (auto& [mode, names] : named) {
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return numberedBefore(a, b);
        });
        for (std::string& name : names)
            said.emplace_back(mode, std::move(name));
        if (names.empty() && unnamed[mode])
            said.emplace_back(mode, std::string());
    }
    if (said.empty())
        return {};
    const std::size_t more = said.size() > MaxLinesNamed ? said.size() - MaxLinesNamed : 0;
    said.resize(said.size() - more);

    std::vector<std::string> phrases;
    for (std::size_t i = 0; i < said.size();) {
        const ModeIndex mode = said[i].first;
        std::vector<std::string> names;
        for (; i < said.size() && said[i].first == mode; ++i)
            if (!said[i].second.empty())
                names.push_back(said[i].second);
        if (names.empty())
            phrases.emplace_back(modes[mode].one);
        else
            phrases.push_back(std::string(names.size() == 1 ? modes[mode].one : modes[mode].several) + " "
                              + listed(names));
    }
    if (more == 1)
        phrases.emplace_back("zu einer weiteren Linie");
    else if (more > 1)
        phrases.push_back("zu " + std::to_string(more) + " weiteren Linien");
    return "Umsteigemöglichkeit " + listed(phrases) + ".";
}

} // namespace transit
