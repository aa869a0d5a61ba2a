#include "gtfscommand.h"

#include "busclient.h"

#include <error.h>
#include <feed.h>
#include <font.h>
#include <gtfs.h>
#include <interchange.h>
#include <names.h>

#include <QDir>
#include <QRegularExpression>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace gtfscommand {

namespace {

constexpr int MaxStops = 99;

struct Options {
    std::string feed;
    bool list = false;
    std::optional<std::string> route;
    std::optional<int> direction;
    std::optional<std::string> output;
    std::optional<std::string> pronunciationOutput;
    std::optional<std::string> extraOutput;
    std::optional<int> from;
    std::optional<int> to;
    bool load = false;
};

// Text from the feed on a terminal: valid UTF-8, and no control character
// that could move the cursor or start an escape sequence.
std::string printable(std::string_view text)
{
    QString decoded = QString::fromUtf8(text.data(), qsizetype(text.size()));
    for (QChar& c : decoded)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            c = u'?';
    return decoded.toStdString();
}

QString fromWindows1252(std::string_view bytes)
{
    QStringDecoder decoder("windows-1252");
    return decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

// U+000A: how a character without a picture of its own is named.
std::string codePoint(char32_t code)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", unsigned(code));
    return text;
}

std::string trips(std::uint64_t count)
{
    return std::to_string(count) + (count == 1 ? " Fahrt" : " Fahrten");
}

std::string inQuotes(std::string_view text)
{
    return "„" + printable(text) + "“";
}

struct Refusal {
    std::string message;
};

int parsePositive(const char* option, const char* value)
{
    const std::string_view text(value);
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < 1)
        throw Refusal{std::string(option) + " braucht eine Haltestellennummer ab 1, nicht " + inQuotes(text)};
    return number;
}

Options parse(std::span<char* const> arguments)
{
    if (arguments.empty())
        throw Refusal{"--gtfs braucht einen Feed: eine Zip-Datei oder einen Ordner"};
    Options options;
    options.feed = arguments[0];
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view option(arguments[i]);
        const auto value = [&]() -> const char* {
            if (i + 1 == arguments.size())
                throw Refusal{"„" + std::string(option) + "“ braucht einen Wert"};
            return arguments[++i];
        };
        if (option == "--linien")
            options.list = true;
        else if (option == "--linie")
            options.route = value();
        else if (option == "--richtung") {
            const std::string_view direction(value());
            if (direction != "0" && direction != "1")
                throw Refusal{"--richtung ist 0 oder 1, nicht " + inQuotes(direction)};
            options.direction = direction[0] - '0';
        } else if (option == "--ausgabe")
            options.output = value();
        else if (option == "--aussprache-ausgabe")
            options.pronunciationOutput = value();
        else if (option == "--zusatz-ausgabe")
            options.extraOutput = value();
        else if (option == "--von")
            options.from = parsePositive("--von", value());
        else if (option == "--bis")
            options.to = parsePositive("--bis", value());
        else if (option == "--laden")
            options.load = true;
        else
            throw Refusal{(option.starts_with('-') ? "unbekannte Option " : "unerwartetes Argument ") + inQuotes(option)
                          + " nach --gtfs"};
    }
    if (options.list == options.route.has_value())
        throw Refusal{"--gtfs braucht entweder --linien oder --linie NAME"};
    if (options.list && (options.direction || options.output || options.pronunciationOutput || options.extraOutput
                         || options.from || options.to || options.load))
        throw Refusal{"--linien nimmt keine weiteren Optionen"};
    if (options.from && options.to && *options.from > *options.to)
        throw Refusal{"--von " + std::to_string(*options.from) + " liegt hinter --bis " + std::to_string(*options.to)};
    return options;
}

// A file the command writes, and the only way it writes one.
//
// An ordinary file, or one not there yet, is written beside its target under
// a temporary name, each write checked, synced, and renamed over the target
// only once all of it is on the disk: on a full disk, an exhausted quota or
// an I/O error the old file stays whole and the temporary one goes. (Qt 6.4's
// QSaveFile is no help: its commit() reports success after a buffered write
// that failed, and the rename then leaves an empty file.)
//
// An existing target that is no ordinary file is never replaced: a named pipe
// or a character device (/dev/null, /dev/stdout on a terminal) is written
// directly and stays what it is; a folder, a socket or a block device is
// refused. A symbolic link to a file keeps the link; its file is replaced.
class Output {
public:
    explicit Output(std::string path) : path_(std::move(path))
    {
        struct stat status {};
        if (::stat(path_.c_str(), &status) != 0) {
            if (errno != ENOENT)
                fail(errno);
            target_ = path_;
        } else if (S_ISREG(status.st_mode)) {
            // Beside the file the link names, so that the rename replaces it.
            const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path_.c_str(), nullptr), &std::free);
            if (!real)
                fail(errno);
            target_ = real.get();
            mode_ = status.st_mode & 07777;
        } else if (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode)) {
            direct_ = true;
            return;
        } else {
            throw transit::Error(inQuotes(path_) + (S_ISDIR(status.st_mode) ? " ist ein Ordner"
                                                     : " ist weder eine Datei noch eine Pipe oder ein Zeichengerät")
                                 + "; dorthin wird nicht geschrieben");
        }
        const std::size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
        std::string name = folder + "." + target_.substr(slash == std::string::npos ? 0 : slash + 1) + ".XXXXXX";
        fd_ = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd_ < 0)
            fail(errno);
        temporary_ = std::move(name);
        if (!mode_) {
            // A new file gets what the user's umask leaves of rw-rw-rw-.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode_ = 0666 & ~mask;
        }
        if (::fchmod(fd_, *mode_) != 0)
            fail(errno);
    }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!temporary_.empty())
            ::unlink(temporary_.c_str());
    }

    // The whole content. A file gets it at once, so that a full disk is
    // found before anything is replaced; a pipe or device only on commit().
    void write(std::string bytes)
    {
        if (direct_)
            bytes_ = std::move(bytes);
        else
            writeAll(fd_, bytes);
    }

    void commit()
    {
        if (direct_) {
            // Without O_CREAT or O_TRUNC: what is there stays what it is.
            const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
            if (fd < 0)
                fail(errno);
            try {
                writeAll(fd, bytes_);
            } catch (...) {
                ::close(fd);
                throw;
            }
            if (::close(fd) != 0 && errno != EINTR)
                fail(errno);
            return;
        }
        const int fd = std::exchange(fd_, -1);
        if (::fsync(fd) != 0) {
            const int code = errno;
            ::close(fd);
            fail(code);
        }
        if (::close(fd) != 0 && errno != EINTR)
            fail(errno);
        if (::rename(temporary_.c_str(), target_.c_str()) != 0)
            fail(errno);
        temporary_.clear();
        // The rename itself on the disk, where the folder can be opened.
        const std::size_t slash = target_.rfind('/');
        const int folder = ::open(slash == std::string::npos ? "." : target_.substr(0, slash + 1).c_str(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    }

private:
    [[noreturn]] void fail(int code) const
    {
        throw transit::Error(inQuotes(path_) + " kann nicht geschrieben werden: " + transit::systemReason(code));
    }
    void writeAll(int fd, std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t count = ::write(fd, bytes.data(), bytes.size());
            if (count < 0 && errno == EINTR)
                continue;
            if (count <= 0)
                fail(count < 0 ? errno : EIO);
            bytes.remove_prefix(std::size_t(count));
        }
    }

    std::string path_;
    std::string target_;
    std::string temporary_;
    std::optional<mode_t> mode_;
    int fd_ = -1;
    bool direct_ = false;
    std::string bytes_;
};

// A file that goes again with the scope.
struct Removed {
    explicit Removed(std::string path) : path(std::move(path)) {}
    Removed(const Removed&) = delete;
    Removed& operator=(const Removed&) = delete;
    ~Removed() { ::unlink(path.c_str()); }
    std::string path;
};

// What went to standard output has arrived (a full disk or a closed pipe
// behind it shows only here).
void checkStandardOutput(std::FILE* out)
{
    if (std::fflush(out) != 0 || std::ferror(out))
        throw transit::Error("die Standardausgabe kann nicht geschrieben werden: "
                             + transit::systemReason(errno ? errno : EIO));
}

std::string joined(const std::vector<std::string>& texts)
{
    std::string text;
    for (const std::string& part : texts)
        text += (text.empty() ? "" : ", ") + printable(part);
    return text;
}

// "Richtung 1", with how it is known where the feed does not say it, and
// the routes that run it where a line has several.
std::string directionName(const transit::Route& route, const transit::Direction& direction)
{
    if (direction.id < 0)
        return "ohne Richtungsangabe";
    std::string notes;
    if (direction.inferred)
        notes = "aus der Haltestellenfolge";
    if (route.routeIds.size() > 1)
        notes += (notes.empty() ? "" : ", ") + std::string("route_id ") + joined(direction.routeIds);
    return "Richtung " + std::to_string(direction.id) + (notes.empty() ? "" : " (" + notes + ")");
}

int listRoutes(const Options& options, std::FILE* out)
{
    const std::unique_ptr<transit::Feed> feed = transit::Feed::open(options.feed);
    const std::vector<transit::Route> routes = transit::listRoutes(*feed);
    // Where lines share a short name (of different agencies), or a line has
    // several routes, the route ids tell them apart: --linie takes them.
    std::map<std::string, int> named;
    for (const transit::Route& route : routes)
        ++named[route.shortName];
    std::string text;
    for (const transit::Route& route : routes) {
        text += "Linie " + printable(route.shortName.empty() ? route.id : route.shortName);
        if (!route.longName.empty())
            text += " · " + printable(route.longName);
        if (!route.agency.empty())
            text += " · " + printable(route.agency);
        text += " · " + transit::modeName(route.type);
        if (route.routeIds.size() > 1 || (!route.shortName.empty() && named[route.shortName] > 1))
            text += " · route_id " + joined(route.routeIds);
        if (!route.problem.empty()) {
            // One line, and the others are listed all the same.
            text += (route.demandResponsive ? " · " : " · fehlerhaft: ") + printable(route.problem) + "\n";
            continue;
        }
        text += "\n";
        if (route.directions.empty())
            text += "  keine Fahrten\n";
        for (const transit::Direction& direction : route.directions)
            text += "  " + directionName(route, direction) + ": nach " + printable(direction.destination) + ", "
                    + std::to_string(direction.stops.size()) + " Haltestellen\n";
    }
    std::fputs(text.c_str(), out);
    checkStandardOutput(out);
    return 0;
}

const transit::Direction& chooseDirection(const transit::Route& route, const Options& options)
{
    const std::string name = inQuotes(route.shortName.empty() ? route.id : route.shortName);
    if (route.directions.empty())
        throw transit::Error("zur Linie " + name + " gibt es im Feed keine Fahrten mit Haltestellen");
    if (!options.direction) {
        for (const transit::Direction& direction : route.directions)
            if (direction.id == 0)
                return direction;
        return route.directions.front();
    }
    std::string present;
    for (const transit::Direction& direction : route.directions) {
        if (direction.id == *options.direction)
            return direction;
        present += (present.empty() ? "" : ", ") + directionName(route, direction);
    }
    throw transit::Error("die Linie " + name + " hat keine Richtung " + std::to_string(*options.direction)
                         + " (im Feed: " + present + ")");
}

// The characters of the converted names that the sign has no glyph for: each
// would stay a dark cell.
std::string darkOnSign(const std::vector<std::string>& names)
{
    bool seen[256] = {};
    std::string listed;
    for (const std::string& name : names)
        for (const char byte : name) {
            const unsigned char code = static_cast<unsigned char>(byte);
            if (code == ' ' || seen[code] || font::glyphFor(code))
                continue;
            seen[code] = true;
            if (!listed.empty())
                listed += ' ';
            listed += fromWindows1252(std::string_view(&byte, 1)).toStdString();
        }
    return listed;
}

// The companion's extra-text file (pendralumovista-ansage --zusatz): for each
// stop of the list where one can change, "name = Umsteigemöglichkeit …", the
// name as the stop file has it (in UTF-8), once per name. The companion
// finds a line by the name on the sign.
struct ExtraTexts {
    std::string file;
    std::size_t stops = 0; // with a line in the file
    std::vector<std::string> left; // names a line of the file cannot hold
};

ExtraTexts extraTexts(transit::Feed& feed, const Options& options, const transit::Route& route,
                      const transit::Direction& direction, int from, const std::vector<std::string>& names)
{
    const auto first = std::size_t(from - 1);
    const std::vector<std::string> ids(direction.stopIds.begin() + std::ptrdiff_t(first),
                                       direction.stopIds.begin() + std::ptrdiff_t(first + names.size()));
    const std::vector<std::string> stations(direction.stations.begin() + std::ptrdiff_t(first),
                                            direction.stations.begin() + std::ptrdiff_t(first + names.size()));
    const std::vector<std::vector<transit::CallingLine>> calling = transit::callingLines(feed, route, ids, stations);
    // Two stops of one name (a ring's first and last) are one line: the
    // companion could not tell them apart.
    std::vector<std::pair<std::string, std::vector<transit::CallingLine>>> byName;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string written = fromWindows1252(names[i]).toStdString();
        auto same = std::find_if(byName.begin(), byName.end(), [&](const auto& entry) { return entry.first == written; });
        if (same == byName.end())
            same = byName.insert(byName.end(), {written, {}});
        same->second.insert(same->second.end(), calling[i].begin(), calling[i].end());
    }
    const std::string routeName = route.shortName.empty() ? route.id : route.shortName;
    ExtraTexts texts;
    texts.file = "# Umsteigemöglichkeiten der Linie " + printable(routeName) + ", " + directionName(route, direction)
                 + " nach " + printable(direction.destination) + ", aus dem Feed " + printable(options.feed)
                 + "; geschrieben von pendralumovista --gtfs --zusatz-ausgabe\n";
    for (const auto& [written, lines] : byName) {
        const std::string text = transit::interchangeText(lines);
        if (text.empty())
            continue;
        // A name the file would read otherwise: one with "=" (the first
        // ends the name), a comment, a key of the reader's own ("*" for
        // every stop, "*Endstelle"), one ending in what reads as a
        // language ("Bahnhof [ab]"), or blanks at either end (they are
        // dropped on reading).
        const QString name = QString::fromStdString(written);
        static const QRegularExpression languageTag(QStringLiteral(" \\[[a-z]{2}\\]$"));
        if (written.empty() || written.find('=') != std::string::npos || written.starts_with('#')
            || written.starts_with('*') || languageTag.match(name).hasMatch() || name.trimmed() != name) {
            texts.left.push_back(written);
            continue;
        }
        texts.file += written + " = " + text + "\n";
        ++texts.stops;
    }
    return texts;
}

int writeRoute(const Options& options, std::FILE* out, std::FILE* err)
{
    const std::unique_ptr<transit::Feed> feed = transit::Feed::open(options.feed);
    const transit::Route route = transit::readRoute(*feed, *options.route);
    const transit::Direction& direction = chooseDirection(route, options);
    const std::string routeName = route.shortName.empty() ? route.id : route.shortName;

    // The stretch asked for, in stop numbers from 1.
    const int count = int(direction.stops.size());
    const int from = options.from.value_or(1);
    const int to = options.to.value_or(count);
    if (to > count)
        throw transit::Error("die Linie " + inQuotes(routeName) + " hat in " + directionName(route, direction) + " nur "
                             + std::to_string(count) + " Haltestellen, --bis " + std::to_string(to) + " liegt dahinter");
    if (from > to)
        throw transit::Error("--von " + std::to_string(from) + " liegt hinter der letzten Haltestelle, "
                             + std::to_string(to));
    if (to - from + 1 > MaxStops)
        throw transit::Error("die Linie " + inQuotes(routeName) + " hat in " + directionName(route, direction) + " "
                             + std::to_string(to - from + 1) + " Haltestellen, ein Haltestellensatz höchstens "
                             + std::to_string(MaxStops) + "; --von N --bis M wählt einen Abschnitt");

    transit::NameConverter converter;
    std::vector<std::string> names;
    std::string file;
    std::string pronunciations;
    std::vector<std::string> unpronounceable;
    for (int i = from - 1; i < to; ++i) {
        names.push_back(converter.convert(direction.stops[std::size_t(i)]));
        // The file's lines end as the platform the format comes from ends them.
        file += names.back() + "\r\n";
        const std::string& said = direction.pronunciations[std::size_t(i)];
        if (said.empty())
            continue;
        // The companion's file: "schreibung = aussprache", in UTF-8, the
        // written form as the announcement will have it.
        const std::string written = fromWindows1252(names.back()).toStdString();
        const std::string spoken = printable(said);
        if (written.find('=') != std::string::npos || written.starts_with('#') || spoken != said
            || spoken.find('=') != std::string::npos)
            unpronounceable.push_back(written);
        else if (pronunciations.find("\n" + written + " = ") == std::string::npos
                 && !pronunciations.starts_with(written + " = "))
            pronunciations += written + " = " + spoken + "\n";
    }
    // An empty pronunciation file would be no help and look like one.
    if (options.pronunciationOutput && pronunciations.empty())
        throw transit::Error("für die Haltestellen dieser Liste hat der Feed keine Aussprache (tts_stop_name), die "
                             "eine Aussprachedatei fassen kann; ohne --aussprache-ausgabe geht es");
    const std::optional<ExtraTexts> extras
        = options.extraOutput ? std::optional(extraTexts(*feed, options, route, direction, from, names)) : std::nullopt;
    const bool stretch = from != 1 || to != count;
    // A stretch ends where it ends: its last stop is the destination.
    const std::string destination = converter.convert(stretch ? direction.stops[std::size_t(to - 1)] : direction.destination);
    std::string line = converter.convert(routeName);

    // Nothing is replaced before everything is known to be right and both
    // files have been written whole.
    std::optional<Output> stopFile;
    std::optional<Output> pronunciationFile;
    std::optional<Output> extraFile;
    if (options.output)
        stopFile.emplace(*options.output).write(file);
    if (options.pronunciationOutput)
        pronunciationFile.emplace(*options.pronunciationOutput).write(pronunciations);
    if (extras)
        extraFile.emplace(*options.extraOutput).write(extras->file);

    std::FILE* info = options.output ? out : err;
    std::string report = "Linie " + printable(routeName) + ", " + directionName(route, direction) + " nach "
                         + printable(direction.destination) + ": " + std::to_string(names.size()) + " Haltestellen";
    if (stretch)
        report += " (" + std::to_string(from) + " bis " + std::to_string(to) + " von " + std::to_string(count) + ")";
    report += "; " + trips(direction.tripsOnSequence) + " mit dieser Folge, " + trips(direction.tripsOnOthers)
              + " mit einer anderen.\n";
    if (!converter.replacements().empty()) {
        report += "Ersetzt, weil Windows-1252 sie nicht kennt:";
        for (const auto& [original, replacement] : converter.replacements()) {
            const char32_t code = QString::fromStdString(original).toUcs4().value(0);
            report.append(" ").append(code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0) ? codePoint(code) : printable(original)).append(" → ");
            report.append(replacement == " " ? std::string("Leerzeichen") : printable(replacement)).append(";");
        }
        report.back() = '.';
        report += "\n";
    }
    for (const std::string& note : direction.notes)
        report += printable(note) + ".\n";
    if (converter.cut())
        report += "Namen über " + std::to_string(transit::MaxNameLength) + " Zeichen sind dort abgeschnitten.\n";
    const std::string dark = darkOnSign(names);
    if (!dark.empty())
        report += "Der Anzeiger hat für diese Zeichen kein Bild, sie bleiben dunkel: " + dark + "\n";
    const bool digits = !routeName.empty() && routeName.size() <= 3
                        && routeName.find_first_not_of("0123456789") == std::string::npos;
    if (route.shortName.empty())
        report += "Die Linie hat keinen Kurznamen; als Liniennummer gilt ihre route_id " + inQuotes(routeName) + ".\n";
    else if (!digits)
        report += "Als Liniennummer gilt " + inQuotes(fromWindows1252(line).toStdString())
                  + ", keine Nummer aus bis zu drei Ziffern; das Bediengerät nimmt sie so.\n";
    if (options.pronunciationOutput && !unpronounceable.empty()) {
        report += "Ohne Aussprache, weil die Aussprachedatei sie nicht fassen kann:";
        for (const std::string& name : unpronounceable)
            report.append(" ").append(inQuotes(name));
        report += "\n";
    }

    if (extras) {
        report += extras->stops == 0 ? std::string("Umsteigemöglichkeiten hat keine Haltestelle dieser Liste.\n")
                                     : "Umsteigemöglichkeiten an " + std::to_string(extras->stops)
                                           + (extras->stops == 1 ? " Haltestelle" : " Haltestellen")
                                           + " in der Zusatzdatei.\n";
        if (!extras->left.empty()) {
            report += "Ohne Umsteigehinweis, weil die Zusatzdatei sie nicht fassen kann:";
            for (const std::string& name : extras->left)
                report.append(" ").append(inQuotes(name));
            report += "\n";
        }
    }

    if (stopFile)
        stopFile->commit();
    if (pronunciationFile)
        pronunciationFile->commit();
    if (extraFile)
        extraFile->commit();
    // The list is loaded before anything is said: with no simulator running
    // the one line that says so is all the user sees.
    if (options.load) {
        // The simulator reads the list from a file, as its dialog would: the
        // one written, or a temporary one that goes again at once.
        std::string path = options.output.value_or(QDir::tempPath().toStdString() + "/pendralumovista-XXXXXX.txt");
        std::optional<Removed> temporary;
        if (!options.output) {
            const int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
            if (fd < 0)
                throw transit::Error("die Liste kann nicht für den Simulator abgelegt werden: "
                                     + transit::systemReason(errno));
            ::close(fd);
            temporary.emplace(path);
            Output list(path);
            list.write(file);
            list.commit();
        }
        const int status
            = bus::loadRoute(QFile::decodeName(path.c_str()), fromWindows1252(line), fromWindows1252(destination), err);
        if (status != 0)
            return status;
    }
    if (!stopFile) {
        std::fwrite(file.data(), 1, file.size(), out);
        // Checked before the report, which would say all went well.
        checkStandardOutput(out);
    }
    std::fputs(report.c_str(), info);
    checkStandardOutput(out);
    return 0;
}

} // namespace

int run(std::span<char* const> arguments, std::FILE* out, std::FILE* err)
{
    try {
        const Options options = parse(arguments);
        return options.list ? listRoutes(options, out) : writeRoute(options, out, err);
    } catch (const Refusal& refusal) {
        std::fprintf(err, "pendralumovista: %s (pendralumovista --help zeigt die Optionen)\n", refusal.message.c_str());
    } catch (const transit::Error& error) {
        std::fprintf(err, "pendralumovista: %s.\n", printable(error.what()).c_str());
    } catch (const std::bad_alloc&) {
        std::fprintf(err, "pendralumovista: für diesen Feed reicht der Arbeitsspeicher nicht.\n");
    }
    return 2;
}

} // namespace gtfscommand
