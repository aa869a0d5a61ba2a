// pendralumovista-ansage: speaks the announcements that the simulator puts
// on the clipboard. The clipboard is the only link between the two programs.

#include "alsaplayer.h"
#include "clipboardwatch.h"
#include "synthesizer.h"
#include "wavwriter.h"

#include <QClipboard>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QLocale>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {
const QCommandLineOption voiceOption(QStringLiteral("voice"), QStringLiteral("Stimme von espeak-ng (Vorgabe: de)."),
                                     QStringLiteral("stimme"), QStringLiteral("de"));
const QCommandLineOption speedOption(
    QStringLiteral("speed"),
    QStringLiteral("Sprechtempo in Wörtern pro Minute, %1 bis %2 (Vorgabe: %3).")
        .arg(Synthesizer::slowest)
        .arg(Synthesizer::fastest)
        .arg(Synthesizer::normal),
    QStringLiteral("wpm"), QString::number(Synthesizer::normal));
const QCommandLineOption wavDirOption(QStringLiteral("wav-dir"),
                                      QStringLiteral("Jede Ansage als nummerierte WAV-Datei in diesen Ordner "
                                                     "schreiben statt sie abzuspielen."),
                                      QStringLiteral("ordner"));

void setUp(QCommandLineParser& parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Spricht jede Ansage, die Pendralumovista in die Zwischenablage legt "
                       "(„nächste Haltestelle: …“), auf Deutsch mit espeak-ng.\n"
                       "Andere Texte in der Zwischenablage bleiben stumm. Läuft neben dem Simulator, "
                       "bis es beendet wird (Strg+C)."));
    parser.addHelpOption();
    parser.addOptions({voiceOption, speedOption, wavDirOption});
}

// Lines go out at once, also into a pipe, so that whoever reads them sees
// each announcement when it happens.
void say(std::FILE* stream, const QString& line)
{
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

[[noreturn]] void refuse(const QString& line)
{
    say(stderr, QStringLiteral("pendralumovista-ansage: %1").arg(line));
    std::exit(2);
}

bool asksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        for (const char* help : {"-h", "-?", "--help", "--help-all"})
            if (std::strcmp(argv[i], help) == 0)
                return true;
    return false;
}

bool choosesPlatform(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication::setApplicationName(QStringLiteral("pendralumovista-ansage"));
    if (asksForHelp(argc, argv)) {
        // Help needs no display.
        QCoreApplication application(argc, argv);
        QCommandLineParser parser;
        setUp(parser);
        parser.process(application);
        return 0;
    }

    // X11 also on a Wayland session (through XWayland): a Wayland client is
    // told of clipboard changes only while it has the focus, which this
    // program, having no window, never has.
    if (!choosesPlatform(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            refuse(QStringLiteral("Kein X-Display (DISPLAY ist leer): Das Programm liest die Zwischenablage "
                                  "der grafischen Sitzung und läuft nur in ihr."));
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QGuiApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("pendralumovista-ansage"));
    QCommandLineParser parser;
    setUp(parser);
    parser.process(application);

    bool isNumber = false;
    const int speed = parser.value(speedOption).toInt(&isNumber);
    if (!isNumber || speed < Synthesizer::slowest || speed > Synthesizer::fastest)
        refuse(QStringLiteral("--speed braucht eine ganze Zahl von %1 bis %2, nicht „%3“.")
                   .arg(Synthesizer::slowest)
                   .arg(Synthesizer::fastest)
                   .arg(parser.value(speedOption)));
    const QString voice = parser.value(voiceOption);
    QString error;
    const std::unique_ptr<Synthesizer> synthesizer = Synthesizer::create(voice, speed, &error);
    if (!synthesizer)
        refuse(error);

    std::unique_ptr<AudioOutput> output;
    QString destination;
    if (parser.isSet(wavDirOption)) {
        const QString folder = parser.value(wavDirOption);
        if (!QDir().mkpath(folder))
            refuse(QStringLiteral("Der Ordner „%1“ lässt sich nicht anlegen.").arg(folder));
        output = std::make_unique<WavWriter>(folder);
        destination = QStringLiteral("WAV-Dateien in %1").arg(QDir(folder).absolutePath());
    } else {
        output = std::make_unique<AlsaPlayer>();
        destination = QStringLiteral("ALSA-Gerät „default“");
    }

    const QLocale german(QLocale::German);
    ClipboardWatch watch(QGuiApplication::clipboard());
    QObject::connect(&watch, &ClipboardWatch::announcement, [&](const QString& text) {
        const Speech speech = synthesizer->synthesize(text);
        if (speech.samples.empty()) {
            say(stderr, QStringLiteral("espeak-ng konnte nicht sprechen: %1").arg(text));
            return;
        }
        const AudioOutput::Result result = output->play(speech);
        if (!result.ok) {
            say(stderr, QStringLiteral("%1 Nicht gesprochen: %2").arg(result.detail, text));
            return;
        }
        const QString seconds = german.toString(speech.seconds(), 'f', 1);
        if (parser.isSet(wavDirOption))
            say(stdout, QStringLiteral("Ansage (%1 s, %2): %3").arg(seconds, result.detail, text));
        else
            say(stdout, QStringLiteral("Ansage (%1 s): %2").arg(seconds, text));
    });

    say(stdout, QStringLiteral("Wartet auf Ansagen in der Zwischenablage (Stimme %1, %2 Wörter/min, %3).")
                    .arg(voice)
                    .arg(speed)
                    .arg(destination));
    return QGuiApplication::exec();
}
