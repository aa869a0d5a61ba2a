#include "commandline.h"

#include "busclient.h"

#include <algorithm>
#include <cstring>
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
     [](CommandLine& line, std::span<char* const>, std::FILE* out) {
         printHelp(out);
         line.exitCode = 0;
     }},
    {"--version", "-v", "", "zeigt Name und Version und endet", false,
     [](CommandLine& line, std::span<char* const>, std::FILE* out) {
         std::fprintf(out, "%s %s\n", programName, PENDRALUMOVISTA_VERSION);
         line.exitCode = 0;
     }},
    {"--press", "", "TASTEN", "drückt im laufenden Simulator die TASTEN, alle Argumente danach", false,
     [](CommandLine& line, std::span<char* const> keys, std::FILE*) { line.exitCode = bus::pressKeys(keys); },
     true},
    {"--load", "", "DATEI", "lädt DATEI als Haltestellensatz in den laufenden Simulator", false,
     [](CommandLine& line, std::span<char* const> file, std::FILE*) { line.exitCode = bus::loadStops(file[0]); }},
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

void printOptions(std::FILE* out, bool forQt, std::size_t width)
{
    for (const Option& option : options)
        if (option.forQt == forQt)
            std::fprintf(out, "  %-*s  %.*s\n", int(width), label(option).c_str(), int(option.help.size()),
                         option.help.data());
}

void printHelp(std::FILE* out)
{
    std::size_t width = 0;
    for (const Option& option : options)
        width = std::max(width, label(option).size());
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
               "diesem Desktop schon läuft, z. B. --press C 1 2 M; läuft keiner, enden sie mit\n"
               "Status 1. Die Tasten: 0 bis 9, C, M, Menü, Anzeige, Auto, Endstelle, Schließen,\n"
               "up, down, soft1, soft2, soft3 (die Softkeys von oben).\n"
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
    for (std::size_t i = 1; i < arguments.size() && !line.exitCode; ++i) {
        const Option* option = find(arguments[i]);
        if (!option)
            return refuse(err, std::string(arguments[i][0] == '-' ? "unbekannte Option „" : "unerwartetes Argument „")
                                   + arguments[i] + "“");
        std::span<char* const> values;
        if (!option->valueName.empty()) {
            if (i + 1 == arguments.size())
                return refuse(err, std::string("„") + arguments[i] + "“ braucht einen Wert, "
                                       + std::string(option->valueName));
            values = arguments.subspan(i + 1, option->restOfLine ? arguments.size() - i - 1 : 1);
        }
        if (option->forQt) {
            line.qtArguments.push_back(arguments[i]);
            line.qtArguments.insert(line.qtArguments.end(), values.begin(), values.end());
        } else {
            option->apply(line, values, out);
        }
        i += values.size();
    }
    line.qtArguments.push_back(nullptr);
    return line;
}
