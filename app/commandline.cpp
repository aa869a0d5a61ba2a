#include "commandline.h"

#include "busclient.h"
#include "gtfscommand.h"

#include <keytable.h>

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace {
constexpr const char* programName = "pendralumovista";

struct Option;
void printHelp(std::FILE* out);

// One row per option. An own option acts through `apply`; an option of Qt
// (`forQt`) is checked for its value and handed on to the application
// object, which acts on it. Qt takes its options with one dash or two. An
// option with `restOfLine` takes every argument after it as its values.
struct Option {
    std::string_view name;
    std::string_view shortName; // empty: none
    std::string_view valueName; // empty: the option takes no value
    std::string_view help;
    bool forQt = false;
    void (*apply)(CommandLine& line, std::span<char* const> values, std::FILE* out) = nullptr;
    bool restOfLine = false;
};

const Option options[] = {
    {"--help", "-h", "", "zeigt diese Hilfe und endet", false,
     [](CommandLine& line, std::span<char* const>, std::FILE*) { line.help = true; }},
    {"--version", "-v", "", "zeigt Name und Version und endet", false,
     [](CommandLine& line, std::span<char* const>, std::FILE*) { line.version = true; }},
    {"--load", "", "DATEI", "lädt DATEI als Haltestellensatz in den laufenden Simulator", false,
     [](CommandLine& line, std::span<char* const> file, std::FILE*) { line.loadPath = file[0]; }},
    {"--press", "", "TASTEN", "drückt im laufenden Simulator die TASTEN, alle Argumente danach", false,
     [](CommandLine& line, std::span<char* const> keys, std::FILE*) { line.keys.assign(keys.begin(), keys.end()); },
     true},
    {"--gtfs", "", "FEED …", "Haltestellen einer Linie aus einem Fahrplan-Feed (GTFS), alle Argumente danach", false,
     [](CommandLine& line, std::span<char* const> rest, std::FILE*) { line.gtfs.assign(rest.begin(), rest.end()); },
     true},
    {"--web", "", "", "zeigt das Schild auch im Browser, unter http://127.0.0.1:8733/ (--web=PORT: an einem anderen Port)", false,
     [](CommandLine& line, std::span<char* const>, std::FILE*) { line.web = true; }},
    {"--web-adresse", "", "ADRESSE", "zeigt es an dieser IP-Adresse statt nur auf diesem Rechner (siehe README)", false,
     [](CommandLine& line, std::span<char* const> address, std::FILE*) {
         line.web = true;
         line.webAddress = address[0];
     }},
    {"--ibis", "", "GERÄT", "sendet Linie, Ziel und Haltestelle als IBIS-Telegramme an GERÄT "
                            "(z. B. /dev/ttyUSB0 oder tcp:RECHNER:PORT)", false,
     [](CommandLine& line, std::span<char* const> device, std::FILE*) { line.ibisDevice = device[0]; }},
    {"--ibis-sign", "", "GERÄT", "zeigt auf dem Schild, was an IBIS-Telegrammen von GERÄT kommt", false,
     [](CommandLine& line, std::span<char* const> device, std::FILE*) { line.ibisSignDevice = device[0]; }},
    {"--ibis-baud", "", "BAUD", "Geschwindigkeit der IBIS-Leitung (Vorgabe 1200)", false,
     [](CommandLine& line, std::span<char* const> value, std::FILE*) { line.ibisBaudGiven = value[0]; }},
    {"--ibis-databits", "", "7|8", "Datenbits je Zeichen (Vorgabe 7)", false,
     [](CommandLine& line, std::span<char* const> value, std::FILE*) { line.ibisDataBitsGiven = value[0]; }},
    {"--ibis-parity", "", "PARITÄT", "gerade, ungerade oder keine (Vorgabe gerade)", false,
     [](CommandLine& line, std::span<char* const> value, std::FILE*) { line.ibisParityGiven = value[0]; }},
    {"--ibis-stopbits", "", "1|2", "Stoppbits je Zeichen (Vorgabe 2)", false,
     [](CommandLine& line, std::span<char* const> value, std::FILE*) { line.ibisStopBitsGiven = value[0]; }},
    {"-platform", "", "NAME", "Qts Plattform statt xcb (X11), z. B. wayland", true},
    {"-display", "", "ANZEIGE", "die X-Anzeige statt der in DISPLAY, z. B. :1", true},
};

std::string label(const Option& option)
{
    std::string text = option.shortName.empty() ? "    " : std::string(option.shortName) + ", ";
    text += option.name;
    if (!option.valueName.empty())
        text.append(" ").append(option.valueName);
    return text;
}

// Columns on a terminal: characters, not bytes ("…" is three bytes in UTF-8).
std::size_t columns(std::string_view text)
{
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void printOptions(std::FILE* out, bool forQt, std::size_t width)
{
    for (const Option& option : options)
        if (option.forQt == forQt) {
            const std::string text = label(option);
            std::fprintf(out, "  %s%*s  %.*s\n", text.c_str(), int(width - columns(text)), "",
                         int(option.help.size()), option.help.data());
        }
}

void printHelp(std::FILE* out)
{
    std::size_t width = 0;
    for (const Option& option : options)
        width = std::max(width, columns(label(option)));
    std::fprintf(out,
                 "Aufruf: %s [OPTION …]\n"
                 "\n"
                 "Simuliert die Fahrgastinformation eines Busses oder einer Straßenbahn: den\n"
                 "Zielanzeiger mit 20 Zeichen aus Leuchtpunkten und das Bediengerät des Fahrers,\n"
                 "mit Maus oder Tastatur bedient. Jeder Haltestellenaufruf legt den Ansagesatz\n"
                 "(„nächste Haltestelle: …“) in die Zwischenablage, wo pendralumovista-ansage ihn\n"
                 "vorliest. Ohne Optionen öffnen sich die Fenster; beim Start wird keine Datei\n"
                 "gelesen, und gespeichert wird nichts.\n"
                 "\n"
                 "Optionen:\n",
                 programName);
    printOptions(out, false, width);
    std::fputs("\nOptionen von Qt:\n", out);
    printOptions(out, true, width);
    std::fputs("\nDas Programm braucht eine X11-Anzeige, auf einem Wayland-Desktop über XWayland.\n"
               "\n"
               "--press und --load wirken über den D-Bus der Sitzung auf den Simulator, der auf\n"
               "diesem Desktop schon läuft, z. B. --load linie.txt --press C 1 2 M: erst die\n"
               "Datei, dann die Tasten. Läuft keiner, antwortet er nicht binnen 3 Sekunden oder\n"
               "weist er etwas zurück, enden sie mit Status 1. Die Tasten: 0 bis 9, C, M, Menü,\n"
               "Anzeige, Auto, Endstelle, Schließen, up, down, soft1, soft2, soft3 (die Softkeys\n"
               "von oben); Groß- und Kleinschreibung gleich, Menue und Schliessen gehen auch.\n"
               "Ein unbekanntes Wort endet mit Status 2, bevor etwas geschieht; -- beendet die\n"
               "Optionen.\n"
               "\n"
               "Das Bediengerät geht auch mit der Tastatur, solange es den Fokus hat:\n"
               "  Pfeiltasten           Pfeil auf, Pfeil ab\n"
               "  0 bis 9               Zifferntasten (auch auf dem Ziffernblock)\n"
               "  C                     C\n"
               "  M, Eingabe            M\n"
               "  F1, F2, F3            die Softkeys von oben\n"
               "  F5 oder Menütaste     Menü\n"
               "  F6                    Anzeige\n"
               "  F7                    Auto (zweimal schnell: Richtung wechseln)\n"
               "  F8 oder Ende          Endstelle\n"
               "Schließen hat keine Taste.\n",
               out);
    std::fputs("\n"
               "--gtfs FEED liest den Fahrplan eines Verkehrsunternehmens (GTFS, die Zip-Datei\n"
               "oder ein Ordner ihrer Dateien), ohne Fenster:\n"
               "  --gtfs FEED --linien                 zeigt die Linien mit Richtungen und Zielen\n"
               "  --gtfs FEED --linie NAME [--richtung 0|1] [--ausgabe DATEI] [--laden]\n"
               "        schreibt die Haltestellen der Linie als Haltestellensatz (Windows-1252),\n"
               "        ohne --ausgabe auf die Standardausgabe; --laden lädt ihn dazu in den\n"
               "        laufenden Simulator und setzt Linie und Ziel.\n"
               "  --von N --bis M nimmt nur die Haltestellen N bis M (ein Satz fasst 99);\n"
               "  --aussprache-ausgabe DATEI schreibt die Aussprachen des Feeds (tts_stop_name)\n"
               "        als Aussprachedatei für pendralumovista-ansage.\n"
               "  --zusatz-ausgabe DATEI schreibt zu jeder Haltestelle die Linien, zu denen man\n"
               "        dort umsteigen kann, als Zusatzdatei für pendralumovista-ansage --zusatz.\n"
               "Ein Feed, der keine Liste ergibt, endet mit Status 2; dann wird nichts geschrieben.\n",
               out);
    std::fputs("\n"
               "IBIS, der Fahrzeugbus zu echten Anzeigern: --ibis sendet bei jeder Änderung die\n"
               "Linie (DS001), das Ziel (DS003a) und die Haltestelle (DS009, 20 Zeichen), in\n"
               "Großbuchstaben mit 7 Bit, ä ö ü ß als { | } ~; --ibis-sign macht das Schild zum\n"
               "Anzeiger, der zeigt, was ankommt. Die Leitung: 1200 Baud, 7 Datenbits, gerade\n"
               "Parität, 2 Stoppbits. Fehlt das Gerät oder fällt es aus, sagt das eine Zeile, und\n"
               "der Simulator läuft ohne IBIS weiter.\n",
               out);
}

const Option* find(std::string_view argument)
{
    for (const Option& option : options) {
        if (argument == option.name || (!option.shortName.empty() && argument == option.shortName))
            return &option;
        // Qt's "-platform" is also "--platform".
        if (option.forQt && argument.size() > 2 && argument.starts_with("--") && argument.substr(1) == option.name)
            return &option;
    }
    return nullptr;
}

// A whole number from `lowest` to `highest`, written in decimal digits alone.
std::optional<unsigned> number(std::string_view text, unsigned lowest, unsigned highest)
{
    unsigned value = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '9' || value > highest)
            return std::nullopt;
        value = value * 10 + unsigned(digit - '0');
    }
    if (text.empty() || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

CommandLine refuse(std::FILE* err, const std::string& what)
{
    std::fprintf(err, "%s: %s (%s --help zeigt die Optionen)\n", programName, what.c_str(), programName);
    CommandLine line;
    line.exitCode = 2;
    return line;
}
} // namespace

CommandLine parseCommandLine(int argc, char** argv, std::FILE* out, std::FILE* err)
{
    CommandLine line;
    const std::span<char*> arguments(argv, std::size_t(std::max(argc, 0)));
    if (!arguments.empty())
        line.qtArguments.push_back(arguments[0]);
    // Everything is read before anything is done: a word the program would
    // not use is refused, and nothing has happened yet.
    const Option* first = nullptr;
    const Option* forQt = nullptr;
    bool loadTwice = false;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::size_t at = i;
        const std::string_view argument = arguments[i];
        if (argument == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        // "--web=PORT": the port in the same word.
        if (!optionsEnded && argument.starts_with("--web=")) {
            const std::string_view digits = argument.substr(6);
            unsigned port = 0;
            for (const char digit : digits)
                port = digit >= '0' && digit <= '9' && port <= 65535 ? port * 10 + unsigned(digit - '0') : 65536;
            if (digits.empty() || port == 0 || port > 65535)
                return refuse(err, std::string("„") + arguments[i] + "“: der Port ist eine Zahl von 1 bis 65535");
            line.web = true;
            line.webPort = port;
            continue;
        }
        const Option* option = optionsEnded ? nullptr : find(argument);
        // The timetable command's own options, given without it.
        if (!option && !optionsEnded && argument == "--zusatz-ausgabe")
            return refuse(err, "„--zusatz-ausgabe“ gilt nur nach „--gtfs FEED --linie NAME“");
        if (!option)
            return refuse(err, std::string(argument.starts_with('-') && !optionsEnded ? "unbekannte Option „"
                                                                                     : "unerwartetes Argument „")
                                   + arguments[i] + "“");
        std::span<char* const> values;
        if (!option->valueName.empty()) {
            std::size_t from = i + 1;
            // "--press -- -x": the keys begin after the "--".
            if (option->restOfLine && from < arguments.size() && std::string_view(arguments[from]) == "--")
                ++from;
            if (from == arguments.size())
                return refuse(err, std::string("„") + arguments[at] + "“ braucht einen Wert, "
                                       + std::string(option->valueName));
            values = arguments.subspan(from, option->restOfLine ? arguments.size() - from : 1);
            i = from + values.size() - 1;
        }
        if (option->forQt) {
            forQt = forQt ? forQt : option;
            line.qtArguments.push_back(arguments[at]);
            line.qtArguments.insert(line.qtArguments.end(), values.begin(), values.end());
            continue;
        }
        loadTwice = loadTwice || (option->name == "--load" && line.loadPath);
        first = first ? first : option;
        option->apply(line, values, out);
    }
    line.qtArguments.push_back(nullptr);

    const bool drives = line.loadPath || !line.keys.empty();
    // The timetable command is one of its own: it takes every word after it.
    if (!line.gtfs.empty() && (drives || line.help || line.version || forQt || line.web || line.ibisDevice
                               || line.ibisSignDevice || line.ibisBaudGiven || line.ibisDataBitsGiven
                               || line.ibisParityGiven || line.ibisStopBitsGiven))
        return refuse(err, "„--gtfs“ steht allein, mit seinen eigenen Optionen danach");
    if (loadTwice)
        return refuse(err, "„--load“ lädt eine Datei, nicht zwei");
    if (drives && (line.help || line.version))
        return refuse(err, std::string("„") + (line.help ? "--help" : "--version")
                               + "“ passt nicht zu „--press“ und „--load“");
    if (drives && line.web)
        return refuse(err, "„--web“ gilt für einen Start, nicht für „--press“ und „--load“");
    if (drives && forQt)
        return refuse(err, std::string("„") + std::string(forQt->name)
                               + "“ gilt für einen Start, nicht für „--press“ und „--load“");
    const bool ibis = line.ibisDevice || line.ibisSignDevice;
    const char* ibisSetting = line.ibisBaudGiven       ? "--ibis-baud"
                              : line.ibisDataBitsGiven ? "--ibis-databits"
                              : line.ibisParityGiven   ? "--ibis-parity"
                              : line.ibisStopBitsGiven ? "--ibis-stopbits"
                                                       : nullptr;
    if (ibisSetting && !ibis)
        return refuse(err, std::string("„") + ibisSetting + "“ gilt nur mit „--ibis“ oder „--ibis-sign“");
    if (drives && ibis)
        return refuse(err, "„--ibis“ und „--ibis-sign“ gelten für einen Start, nicht für „--press“ und „--load“");
    if (line.ibisBaudGiven) {
        const auto baud = number(line.ibisBaudGiven, 50, 4000000);
        if (!baud)
            return refuse(err, std::string("„") + line.ibisBaudGiven + "“: die Baudrate ist eine Zahl von 50 bis 4000000");
        line.ibisBaud = *baud;
    }
    if (line.ibisDataBitsGiven) {
        const auto bits = number(line.ibisDataBitsGiven, 7, 8);
        if (!bits)
            return refuse(err, std::string("„") + line.ibisDataBitsGiven + "“: Datenbits sind 7 oder 8");
        line.ibisDataBits = *bits;
    }
    if (line.ibisStopBitsGiven) {
        const auto bits = number(line.ibisStopBitsGiven, 1, 2);
        if (!bits)
            return refuse(err, std::string("„") + line.ibisStopBitsGiven + "“: Stoppbits sind 1 oder 2");
        line.ibisStopBits = *bits;
    }
    if (line.ibisParityGiven) {
        const std::string_view parity = line.ibisParityGiven;
        if (parity == "gerade" || parity == "even")
            line.ibisParity = 'E';
        else if (parity == "ungerade" || parity == "odd")
            line.ibisParity = 'O';
        else if (parity == "keine" || parity == "none")
            line.ibisParity = 'N';
        else
            return refuse(err, std::string("„") + line.ibisParityGiven + "“: die Parität ist gerade, ungerade oder keine");
    }
    // Every key is checked before the first is pressed: half a sequence
    // pressed is worse than none.
    for (const char* key : line.keys)
        if (!keys::find(QString::fromLocal8Bit(key)))
            return refuse(err, "unbekannte Taste „" + std::string(key) + "“; die Tasten heißen: "
                                   + keys::names().join(u' ').toStdString());
    if (line.help || line.version) {
        // The first of the two asked for.
        if (first && first->name == "--version") {
            std::fprintf(out, "%s %s\n", programName, PENDRALUMOVISTA_VERSION);
        } else {
            printHelp(out);
        }
        line.exitCode = 0;
    } else if (drives) {
        line.exitCode = bus::drive(line.loadPath, line.keys);
    } else if (!line.gtfs.empty()) {
        line.exitCode = gtfscommand::run(line.gtfs, out);
    }
    return line;
}
