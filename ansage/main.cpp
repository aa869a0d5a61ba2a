// pendralumovista-ansage: speaks the simulator's announcements. It hears them
// through the simulator's door on the session bus where there is one, else
// on the clipboard, where the simulator puts each call with its number.

#include "alsadevice.h"
#include "announcement.h"
#include "announcementparts.h"
#include "announcer.h"
#include "clipboardtakeover.h"
#include "clipboardwatch.h"
#include "console.h"
#include "desktopclaim.h"
#include "deviceplayer.h"
#include "extratexts.h"
#include "onecall.h"
#include "recordings.h"
#include "simulatorbus.h"
#include "synthesizer.h"
#include "wavwriter.h"

#include <QClipboard>
#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>

#include <xcb/xcb.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef PENDRALUMOVISTA_VERSION
#error "PENDRALUMOVISTA_VERSION must give the program's version"
#endif

namespace {
const char* const help = R"(Aufruf: pendralumovista-ansage [OPTION …]

Spricht jede Haltestellenansage von Pendralumovista („nächste Haltestelle:
…“) auf Deutsch mit espeak-ng, nach einem Gong. Es hört sie über den
Sitzungsbus, wo der Simulator dort ist, sonst in der Zwischenablage. Andere
Texte in der Zwischenablage bleiben stumm, auch die, die ein
Zwischenablage-Verwalter wiederherstellt. Läuft in der grafischen Sitzung,
bis es beendet wird (Strg+C); je Desktop spricht nur eines.

Optionen:
  --mit-simulator         Startet den Simulator pendralumovista dazu und endet
                          mit ihm.
  --voice NAME            Stimme von espeak-ng (Vorgabe: de).
  --list-voices           Listet die installierten Stimmen von espeak-ng.
  --speed WÖRTER_PRO_MINUTE
                          Sprechtempo, %1 bis %2 (Vorgabe: %3).
  --lautstaerke 0-100     Lautstärke in Prozent (Vorgabe: 100).
  --ohne-gong             Ohne den Gong vor jeder Ansage.
  --geraet NAME           ALSA-Gerät, auf dem gespielt wird (Vorgabe: default).
  --geraete               Listet die ALSA-Geräte.
  --wav-dir ORDNER        Schreibt jede Ansage als nummerierte WAV-Datei in den
                          Ordner, statt sie zu spielen.
  --aussprache DATEI      Weitere Aussprachen, eine Zeile je Wort:
                          schreibung = aussprache
  --tonordner ORDNER      Spielt eigene Aufnahmen aus dem Ordner (WAV, FLAC,
                          Ogg, Opus, MP3), wo es sie gibt; je Teil der Ansage
                          eine Datei, benannt nach ihrem Text: gong.wav,
                          nächste_haltestelle.flac, s_bhf_wannsee.ogg. Der
                          Rest wird gesprochen.
  --zusatz DATEI          Zusätzliche Texte nach dem Namen, eine Zeile je Text:
                          Haltestelle = Text („*“: jede Haltestelle,
                          „*Endstelle“: die Endstelle; [en] dahinter: Englisch)
  --zweitsprache SPRACHE  Sagt die Ansage danach noch einmal in dieser
                          Sprache (nur en: Englisch).
  --alle-texte            Spricht auch Texte „nächste Haltestelle: …“, die ein
                          anderes Programm in die Zwischenablage legt; hört
                          dann nur auf die Zwischenablage.
  --help                  Zeigt diese Hilfe.
  --version               Zeigt die Version.
)";

struct Options {
    bool help = false, version = false, listVoices = false, listDevices = false;
    bool withSimulator = false, allTexts = false, noGong = false;
    QString voice = QStringLiteral("de");
    QString speed = QString::number(Synthesizer::normal);
    QString volume = QStringLiteral("100");
    QString device = QStringLiteral("default");
    QString wavDir, pronunciationFile, recordingsFolder, extrasFile, secondLanguage;
};

[[noreturn]] void refuse(const QString& line)
{
    say(stderr, QStringLiteral("pendralumovista-ansage: %1").arg(line));
    std::exit(2);
}

Options parse(int argc, char** argv)
{
    Options options;
    const std::pair<const char*, bool*> flags[] = {
        {"--help", &options.help},         {"--version", &options.version},
        {"--list-voices", &options.listVoices}, {"--geraete", &options.listDevices},
        {"--mit-simulator", &options.withSimulator}, {"--alle-texte", &options.allTexts},
        {"--ohne-gong", &options.noGong},
    };
    const std::pair<const char*, QString*> values[] = {
        {"--voice", &options.voice},     {"--speed", &options.speed},     {"--lautstaerke", &options.volume},
        {"--geraet", &options.device},   {"--wav-dir", &options.wavDir},  {"--aussprache", &options.pronunciationFile},
        {"--tonordner", &options.recordingsFolder},
        {"--zusatz", &options.extrasFile},   {"--zweitsprache", &options.secondLanguage},
    };
    const QString hint = QStringLiteral(" (Hilfe: pendralumovista-ansage --help)");
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        const QString name = argument.section(QLatin1Char('='), 0, 0);
        const bool joined = argument.contains(QLatin1Char('='));
        bool known = false;
        for (const auto& [flag, set] : flags)
            if (name == QLatin1String(flag)) {
                if (joined)
                    refuse(QStringLiteral("%1 nimmt keinen Wert.").arg(name) + hint);
                *set = known = true;
            }
        for (const auto& [option, value] : values)
            if (name == QLatin1String(option)) {
                if (!joined && i + 1 >= argc)
                    refuse(QStringLiteral("%1 braucht einen Wert.").arg(name) + hint);
                *value = joined ? argument.section(QLatin1Char('='), 1) : QString::fromLocal8Bit(argv[++i]);
                known = true;
            }
        if (!known)
            refuse(QStringLiteral("Unbekanntes Argument „%1“.").arg(argument) + hint);
    }
    return options;
}

int number(const QString& option, const QString& value, int lowest, int highest)
{
    bool isNumber = false;
    const int result = value.toInt(&isNumber);
    if (!isNumber || result < lowest || result > highest)
        refuse(QStringLiteral("%1 braucht eine ganze Zahl von %2 bis %3, nicht „%4“.")
                   .arg(option)
                   .arg(lowest)
                   .arg(highest)
                   .arg(value));
    return result;
}

// Lines of a listing, or one line to stderr and exit 1 when it is empty.
int list(const QStringList& lines, const QString& none)
{
    if (lines.isEmpty()) {
        say(stderr, none);
        return 1;
    }
    for (const QString& line : lines)
        say(stdout, line);
    return 0;
}

constexpr char busConnectionName[] = "pendralumovista-ansage";

// Before any Qt object: with no session bus announced (neither
// DBUS_SESSION_BUS_ADDRESS nor the per-user bus at $XDG_RUNTIME_DIR/bus),
// the D-Bus library is told there is none. Else Qt's accessibility bridge,
// which asks for the bus at start, would make the library start a bus
// daemon through the X server (dbus-launch) that outlives the program, or
// fail and leak where dbus-launch is missing.
bool announcedSessionBusOnly()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return qgetenv("DBUS_SESSION_BUS_ADDRESS") != "disabled:";
    const QByteArray socket = qgetenv("XDG_RUNTIME_DIR") + "/bus";
    struct stat status {};
    // The library's own test for the per-user bus.
    if (socket.startsWith('/') && ::stat(socket.constData(), &status) == 0 && S_ISSOCK(status.st_mode)
        && status.st_uid == ::getuid())
        return true;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    return false;
}

// Why no X server answers at `display`, or nothing where one does; on a
// connection of its own, `probe`, which is left open where it answers: a
// server started without -noreset (Xvfb's default, as under xvfb-run)
// resets when its last client leaves, and refuses connections meanwhile.
QString unreachableDisplay(const QByteArray& display, xcb_connection_t*& probe)
{
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const int error = xcb_connection_has_error(connection);
    if (error == 0) {
        probe = connection;
        return {};
    }
    xcb_disconnect(connection);
    const QString name = withoutControls(QString::fromLocal8Bit(display).left(80));
    if (error == XCB_CONN_CLOSED_PARSE_ERR)
        return QStringLiteral("„%1“ ist kein Name einer X11-Anzeige (so etwa :0 oder :1): DISPLAY richtig setzen.")
            .arg(name);
    return QStringLiteral("Die X11-Anzeige „%1“ ist nicht erreichbar (kein X-Server dort, oder er lässt dieses "
                          "Programm nicht zu): in der grafischen Sitzung starten, deren Zwischenablage es lesen soll.")
        .arg(name);
}

// The simulator beside this program (an installation, a build folder), else
// the one on the search path.
QString simulatorBinary()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pendralumovista"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("pendralumovista"));
}

// SIGINT and SIGTERM end the event loop: the handler only writes a byte,
// which the loop reads.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void catchEndSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
} // namespace

int main(int argc, char** argv)
{
    // A file-size limit makes a write come back short rather than end the
    // program; the WAV writer says so.
    std::signal(SIGXFSZ, SIG_IGN);
    const Options options = parse(argc, argv);
    // Help, version and the lists need neither display nor sound.
    if (options.help) {
        say(stdout, QString::fromUtf8(help)
                        .arg(Synthesizer::slowest)
                        .arg(Synthesizer::fastest)
                        .arg(Synthesizer::normal)
                        .trimmed());
        return 0;
    }
    if (options.version) {
        say(stdout, QStringLiteral("pendralumovista-ansage " PENDRALUMOVISTA_VERSION));
        return 0;
    }
    if (options.listVoices)
        return list(Synthesizer::voices(), QStringLiteral("Keine Stimmen von espeak-ng gefunden (Paket espeak-ng-data)."));
    if (options.listDevices)
        return list(AlsaDevice::list(), QStringLiteral("ALSA kennt kein Gerät zum Abspielen."));

    const bool busAnnounced = announcedSessionBusOnly();
    const int speed = number(QStringLiteral("--speed"), options.speed, Synthesizer::slowest, Synthesizer::fastest);
    const int volume = number(QStringLiteral("--lautstaerke"), options.volume, 0, 100);
    Pronunciation pronunciation;
    QString error;
    if (!options.pronunciationFile.isEmpty() && !pronunciation.addFile(options.pronunciationFile, &error))
        refuse(error);
    if (!options.recordingsFolder.isEmpty())
        if (const QString problem = Recordings::checkFolder(options.recordingsFolder); !problem.isEmpty())
            refuse(problem);
    ExtraTexts extras;
    if (!options.extrasFile.isEmpty()) {
        QStringList refusals;
        if (!extras.addFile(options.extrasFile, &refusals, &error))
            refuse(error);
        for (const QString& line : refusals)
            say(stderr, line);
    }
    QStringList secondLanguages;
    if (!options.secondLanguage.isEmpty()) {
        if (!supportedSecondLanguages().contains(options.secondLanguage))
            refuse(QStringLiteral("--zweitsprache kennt nur %1, nicht „%2“.")
                       .arg(supportedSecondLanguages().join(QStringLiteral(", ")), options.secondLanguage));
        secondLanguages << options.secondLanguage;
    }
    if (!options.wavDir.isEmpty())
        if (const QString problem = WavWriter::checkFolder(options.wavDir); !problem.isEmpty())
            refuse(problem);
    // A name ALSA does not know at all is a mistake to say now; a device it
    // knows that is not there just now may come, and is tried at each call.
    if (options.wavDir.isEmpty() && !AlsaDevice::known(options.device))
        refuse(QStringLiteral("ALSA kennt kein Gerät „%1“ (die Geräte zeigt --geraete).").arg(options.device));

    // X11 also on a Wayland session (through XWayland): a Wayland client is
    // told of clipboard changes only while it has the focus, which this
    // program, having no window, never has.
    // Without a display the status is 1, as the simulator's: 2 is kept for a
    // wrong option or value.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        say(stderr, QStringLiteral("pendralumovista-ansage: Kein X-Display (DISPLAY ist leer): Das Programm liest "
                                   "die Zwischenablage der grafischen Sitzung und läuft nur in ihr."));
        return 1;
    }
    // Qt's platform plugin ends the program with an abort (status 134) and
    // an English message of its own where no X server answers: asked first.
    xcb_connection_t* displayProbe = nullptr;
    if (const QString problem = unreachableDisplay(qgetenv("DISPLAY"), displayProbe); !problem.isEmpty()) {
        say(stderr, QStringLiteral("pendralumovista-ansage: ") + problem);
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    // The arguments are this program's own, none for Qt.
    int qtArgc = 1;
    QGuiApplication application(qtArgc, argv);
    xcb_disconnect(displayProbe);
    QCoreApplication::setApplicationName(QStringLiteral("pendralumovista-ansage"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PENDRALUMOVISTA_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pendralumovista.Pendralumovista.Ansage"));

    // A second companion on this desktop would speak every call twice.
    const DesktopClaim claim(qgetenv("DISPLAY"));
    if (claim.outcome() == DesktopClaim::Outcome::HeldByAnother) {
        say(stdout, QStringLiteral("Auf diesem Desktop spricht schon ein pendralumovista-ansage; kein zweites."));
        if (options.withSimulator) {
            // The simulator still comes up, or to the front if it runs.
            const QString simulatorPath = simulatorBinary();
            if (simulatorPath.isEmpty() || !QProcess::startDetached(simulatorPath, {}))
                refuse(QStringLiteral("Der Simulator pendralumovista ist weder neben diesem Programm noch im "
                                      "Suchpfad oder startet nicht."));
        }
        return 0;
    }

    const std::unique_ptr<Synthesizer> synthesizer = Synthesizer::create(options.voice, speed, &error);
    if (!synthesizer)
        refuse(error);
    // The second language's voice must be there before any call needs it;
    // tried as the announcer will use it. (Not before the synthesizer is
    // made: espeak-ng started and stopped twice in one process hangs in
    // its second stop, at the program's end.)
    for (const QString& language : secondLanguages)
        if (!synthesizer->useLanguage(language) || !synthesizer->useLanguage(QStringLiteral("de")))
            refuse(QStringLiteral("espeak-ng hat keine Stimme für „%1“ (Paket espeak-ng-data; Liste: "
                                  "pendralumovista-ansage --list-voices).")
                       .arg(language));

    catchEndSignals();
    QSocketNotifier endSignal(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&endSignal, &QSocketNotifier::activated, &application, &QCoreApplication::quit);

    const QString wavDir = options.wavDir;
    const QString device = options.device;
    Announcer::OutputMaker makeOutput = [wavDir, device]() -> std::unique_ptr<AudioOutput> {
        if (!wavDir.isEmpty())
            return std::make_unique<WavWriter>(wavDir);
        return std::make_unique<DevicePlayer>(std::make_unique<AlsaDevice>(device));
    };
    // Recordings are brought to the level of the voice as it says the words
    // every announcement begins with.
    std::unique_ptr<Recordings> recordings;
    if (!options.recordingsFolder.isEmpty())
        recordings = std::make_unique<Recordings>(
            options.recordingsFolder, synthesizer->sampleRate(),
            speechLevel(synthesizer->synthesize(pronunciation.spoken(QStringLiteral("nächste Haltestelle")))));
    if (recordings)
        recordings->startPreloading();
    std::atomic<quint64> latest{0};
    QThread worker;
    Announcer::Settings settings;
    settings.gong = !options.noGong;
    settings.volume = volume;
    settings.recordings = recordings.get();
    settings.extras = &extras;
    settings.secondLanguages = secondLanguages;
    auto* announcer = new Announcer(*synthesizer, pronunciation, makeOutput, settings, latest);
    announcer->moveToThread(&worker);
    worker.start();

    const auto speak = [&](const QString& text) {
        if (text.size() > longestAnnouncement) {
            say(stderr, QStringLiteral("Zu lang für eine Ansage (%1 Zeichen, höchstens %2), nicht gesprochen: %3 …")
                            .arg(text.size())
                            .arg(longestAnnouncement)
                            .arg(text.left(60).simplified()));
            return;
        }
        const quint64 number = ++latest;
        QMetaObject::invokeMethod(announcer, [announcer, number, text] { announcer->announce(number, text); });
    };

    // The simulator's door, where the desktop has a session bus. A connection
    // of its own, closed at the end, not Qt's shared one, which would be torn
    // down after Qt's types are gone.
    std::optional<SimulatorOnBus> simulatorOnBus;
    if (busAnnounced) {
        const QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, busConnectionName);
        if (bus.isConnected())
            simulatorOnBus.emplace(bus, qgetenv("DISPLAY"));
    }
    // Two logins of one user may share the bus: another desktop's simulator
    // is left to that desktop's companion.
    if (simulatorOnBus)
        QObject::connect(&*simulatorOnBus, &SimulatorOnBus::elsewhere, [](const QString& display) {
            say(stdout, QStringLiteral("Der Simulator auf dem Sitzungsbus läuft auf einem anderen Desktop (%1); "
                                       "hier zählen nur die Ansagen in der Zwischenablage dieses Desktops.")
                            .arg(display));
        });
    // Each call is spoken once, whichever way it comes: while a simulator
    // is on the bus, its calls come from there, and their copies on the
    // clipboard are left unless no signal comes for them (onecall.h).
    // With --alle-texte, the clipboard alone, as asked.
    const bool callsFromBus = simulatorOnBus && !options.allTexts;
    OneCall oneCall;
    QObject::connect(&oneCall, &OneCall::speak, speak);
    if (callsFromBus) {
        QObject::connect(&*simulatorOnBus, &SimulatorOnBus::announcement, &oneCall, &OneCall::fromBus);
        QObject::connect(&*simulatorOnBus, &SimulatorOnBus::vanished, &oneCall, &OneCall::simulatorLeft);
    }
    ClipboardWatch watch(QGuiApplication::clipboard(), options.allTexts, QDateTime::currentMSecsSinceEpoch());
    QObject::connect(&watch, &ClipboardWatch::announcement, [&](const QString& text, bool numbered) {
        if (numbered && callsFromBus && simulatorOnBus->present())
            oneCall.fromClipboard(text);
        else
            speak(text);
    });
    // A clipboard program that takes each call's number away leaves the
    // companion deaf wherever the bus does not bring the calls: said once.
    const auto* x11 = application.nativeInterface<QNativeInterface::QX11Application>();
    ClipboardTakeover takeover(x11 ? x11->connection() : nullptr);
    bool takeoverSaid = false;
    QObject::connect(&watch, &ClipboardWatch::numberMissing, [&] {
        if (takeoverSaid || !takeover.takenOver() || (callsFromBus && simulatorOnBus->present()))
            return;
        takeoverSaid = true;
        const QString name = takeover.ownerName();
        say(stderr, QStringLiteral("Ein Programm%1 übernimmt die Zwischenablage nach jedem Aufruf und behält nur den "
                                   "Text, nicht die Nummer, an der dieses Programm einen Aufruf erkennt: Die Ansagen "
                                   "gehen so verloren. Abhilfe: Simulator und Ansage mit demselben Sitzungsbus starten "
                                   "(dann kommen die Aufrufe über ihn), oder %2 schließen oder einen "
                                   "Zwischenablage-Verwalter nehmen, der alle Formate behält.")
                        .arg(name.isEmpty() ? QString() : QStringLiteral(" („%1“)").arg(name),
                             name.isEmpty() ? QStringLiteral("dieses Programm") : name));
    });

    const QString simulatorPath = options.withSimulator ? simulatorBinary() : QString();
    if (options.withSimulator && simulatorPath.isEmpty())
        refuse(QStringLiteral("Der Simulator pendralumovista ist weder neben diesem Programm noch im Suchpfad."));
    // The X server learns that the clipboard is watched only once the
    // request reaches it; a round trip makes sure it has before the line
    // says so, so that a call made right after the line is heard.
    if (x11)
        std::free(xcb_get_input_focus_reply(x11->connection(), xcb_get_input_focus(x11->connection()), nullptr));
    say(stdout, QStringLiteral("Wartet auf Ansagen %1 (Stimme %2, %3 Wörter/min, %4).")
                    .arg(callsFromBus ? QStringLiteral("über den Sitzungsbus und die Zwischenablage")
                                      : QStringLiteral("in der Zwischenablage"))
                    .arg(options.voice)
                    .arg(speed)
                    .arg(wavDir.isEmpty() ? QStringLiteral("ALSA-Gerät „%1“").arg(device)
                                          : QStringLiteral("WAV-Dateien in %1").arg(QDir(wavDir).absolutePath())));

    // With a simulator of its own, the companion ends with it: with its
    // status when it fails, and not before a simulator that it handed over
    // to ends too.
    QProcess simulator;
    int status = 0;
    if (options.withSimulator) {
        simulator.setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(&simulator, &QProcess::finished, &application, [&](int code, QProcess::ExitStatus how) {
            if (how != QProcess::NormalExit) {
                say(stderr, QStringLiteral("Der Simulator ist abgestürzt; die Ansage endet mit ihm."));
                status = 1;
            } else if (code != 0) {
                say(stderr, QStringLiteral("Der Simulator endete mit dem Fehlercode %1; die Ansage endet mit ihm.")
                                .arg(code));
                status = 1;
            } else if (simulatorOnBus && simulatorOnBus->present()) {
                say(stdout, QStringLiteral("Der Simulator lief schon; die Ansagen kommen von ihm, bis er endet."));
                QObject::connect(&*simulatorOnBus, &SimulatorOnBus::vanished, &application, &QCoreApplication::quit);
                return;
            }
            QCoreApplication::quit();
        });
        simulator.start(simulatorPath, {});
        if (!simulator.waitForStarted())
            refuse(QStringLiteral("Der Simulator %1 startet nicht (%2).").arg(simulatorPath, simulator.errorString()));
    }

    QGuiApplication::exec();
    simulatorOnBus.reset();
    QDBusConnection::disconnectFromBus(QLatin1String(busConnectionName));

    // Ending: the simulator first, then whatever the announcer does, which
    // gives up a synthesis at once and finishes a file it writes.
    if (simulator.state() != QProcess::NotRunning) {
        simulator.terminate();
        if (!simulator.waitForFinished(3000))
            simulator.kill();
        simulator.waitForFinished();
    }
    latest = Announcer::Ending;
    QMetaObject::invokeMethod(announcer, &Announcer::finish);
    if (!worker.wait(5000)) {
        // A sound server that hangs holds the announcer in ALSA; nothing of
        // it is worth waiting longer for.
        say(stderr, QStringLiteral("Das Audiogerät antwortet nicht; beendet ohne es."));
        std::_Exit(status);
    }
    delete announcer;
    return status;
}
