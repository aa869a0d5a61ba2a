// How calls reach the companion, and that one companion speaks per desktop:
// the numbers of the simulator's private clipboard format, the simulator's
// door on the session bus (a stand-in owns its name on the test's own bus),
// a second start, and no bus daemon started where no bus is announced.
//
// The test owns the clipboard of a virtual X server of its own, as the
// simulator does, so its main starts that server before the application.

#include "support/printedtail.h"

#include <announcement.h>
#include <clipboardtakeover.h>
#include <clipboardwatch.h>

#include <QClipboard>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDateTime>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#ifndef ANSAGE_BINARY
#error "ANSAGE_BINARY must name the companion under test"
#endif
#ifndef PENDRALUMOVISTA_BINARY
#error "PENDRALUMOVISTA_BINARY must name the simulator"
#endif

namespace {
QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

const QString applicationId = QStringLiteral("io.github.pendralumovista.Pendralumovista");
const QString objectPath = QStringLiteral("/io/github/pendralumovista/Pendralumovista");
const QString controlUnitInterface = QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit");

// The clipboard as the simulator fills it: the sentence, and the call's
// number in the private format unless `number` is empty.
void putOnClipboard(const QString& text, const QByteArray& number = {})
{
    auto* data = new QMimeData;
    data->setText(text);
    if (!number.isEmpty())
        data->setData(QString::fromLatin1(callFormat), number);
    QGuiApplication::clipboard()->setMimeData(data);
}

// A virtual X server of the test's own: its display's name, empty when it
// does not start. -displayfd: the server picks a free display and tells
// which.
QString startXvfb(QProcess& xvfb)
{
    xvfb.start(tool("Xvfb"), {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp", "-noreset"});
    if (!xvfb.waitForStarted() || !xvfb.waitForReadyRead(15000))
        return {};
    return QStringLiteral(":") + QString::fromLatin1(xvfb.readLine().trimmed());
}

// The real simulator, ended with the test function.
struct Simulator {
    QProcess process;
    QByteArray out;
    explicit Simulator(const QProcessEnvironment& env)
    {
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {});
    }
    QByteArray& said()
    {
        out += process.readAllStandardOutput();
        return out;
    }
    ~Simulator()
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
        process.waitForFinished();
    }
};

// A method of the door of the simulator that owns the name on the test's bus.
QDBusMessage callSimulator(const char* method, const QVariantList& arguments, const QString& interface = controlUnitInterface)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(applicationId, objectPath, interface, QString::fromLatin1(method));
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

// Owners of the clipboard one after the other: window, server time in ms.
using Owners = QList<QPair<quint32, quint32>>;

// Numbers as the simulator makes them: milliseconds since 1970, growing.
QByteArray nextCallNumber()
{
    static qint64 last = 0;
    last = std::max(last + 1, QDateTime::currentMSecsSinceEpoch());
    return QByteArray::number(last);
}
} // namespace

class TestAnsageCalls : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;

    struct Companion {
        QProcess process;
        QByteArray out, err;
        Companion(const QStringList& arguments, const QProcessEnvironment& env, const QString& program = {})
        {
            process.setProcessEnvironment(env);
            process.start(program.isEmpty() ? QStringLiteral(ANSAGE_BINARY) : program, arguments);
        }
        // A check that failed while it ran shows what it printed last.
        ~Companion()
        {
            process.kill();
            process.waitForFinished();
            said();
            testsupport::printTailIfFailed("the companion", out + err);
        }
        QByteArray& said()
        {
            out += process.readAllStandardOutput();
            err += process.readAllStandardError();
            return out;
        }
        bool ready()
        {
            const bool up = QTest::qWaitFor(
                [&] { return said().contains("Wartet auf Ansagen") || process.state() == QProcess::NotRunning; },
                15000);
            if (!up || process.state() != QProcess::Running)
                qWarning() << out << err;
            return up && process.state() == QProcess::Running;
        }
    };

    // The test's own environment: its X server, its bus (dbus-run-session).
    static QProcessEnvironment withBus()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    // No bus announced: neither the variable nor a per-user bus.
    QProcessEnvironment withoutBus() const
    {
        QProcessEnvironment env = withBus();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), scratch.filePath(QStringLiteral("runtime")));
        return env;
    }

    // The route the simulator tests call: stops 1 and 2 are Westkreuz and
    // Nordtor.
    bool loadRoute()
    {
        QFile stops(scratch.filePath(QStringLiteral("route.txt")));
        if (!stops.open(QIODevice::WriteOnly) || stops.write("Ostpark\r\nWestkreuz\r\nNordtor\r\n") < 0)
            return false;
        stops.close();
        return callSimulator("LoadStops", {stops.fileName()}).type() == QDBusMessage::ReplyMessage;
    }

    QStringList wavs(const QString& folder) const
    {
        return QDir(folder).entryList({QStringLiteral("ansage-*.wav")}, QDir::Files, QDir::Name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QVERIFY(QDir().mkpath(scratch.filePath(QStringLiteral("runtime"))));
    }

    // A call counts once, and only with a number newer than any seen and
    // than the companion's start: clipboard managers put texts back, with
    // or without the format, when they start or when the simulator ends.
    void callNumbers()
    {
        const qint64 started = 5000;
        ClipboardWatch calls(QGuiApplication::clipboard(), false, started);
        ClipboardWatch allTexts(QGuiApplication::clipboard(), true, started);
        QStringList heard, heardPlain;
        connect(&calls, &ClipboardWatch::announcement, this,
                [&](const QString& text, bool numbered) { heard << text + (numbered ? "" : " (ohne Nummer)"); });
        connect(&allTexts, &ClipboardWatch::announcement, this,
                [&](const QString& text, bool numbered) { heardPlain << text + (numbered ? "" : " (ohne Nummer)"); });
        const auto call = [](const char* name) { return QStringLiteral("nächste Haltestelle: ") + QLatin1String(name); };

        putOnClipboard(call("Vorher"), "4999");   // a call made before the start
        putOnClipboard(call("Start"), "5000");    // the one on the clipboard at the start
        putOnClipboard(call("Erste"), "5001");
        putOnClipboard(call("Erste"), "5001");    // put back with its number
        putOnClipboard(call("Erste"));            // put back as text only
        putOnClipboard(call("Alt"), "5000");      // an older call put back
        putOnClipboard(call("Kaputt"), "5x02");
        putOnClipboard(QStringLiteral("Einkaufsliste"), "5003");
        putOnClipboard(call("Zweite\nZeile"), "5004");
        putOnClipboard(call("Zweite"), "5004");   // the same call twice is one call
        QTRY_COMPARE(heard, QStringList({call("Erste"), call("Zweite Zeile")}));
        // With plain texts asked for, the text put back is spoken too.
        QCOMPARE(heardPlain, QStringList({call("Erste"), call("Erste") + " (ohne Nummer)", call("Zweite Zeile")}));
    }

    // Where the simulator is on the bus, its calls come from its Announced
    // signal, each once although the clipboard has it too; a signal from
    // anyone else is not a call; without a simulator on the bus, the
    // clipboard brings them.
    void callsThroughTheBus()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        const QString folder = scratch.filePath(QStringLiteral("bus"));
        Companion companion({"--wav-dir", folder, "--ohne-gong"}, withBus());
        QVERIFY(companion.ready());
        QVERIFY2(companion.said().contains("über den Sitzungsbus"), companion.out.constData());
        const auto spoken = [&](int count) {
            return QTest::qWaitFor([&] { return int(companion.said().count("Ansage (")) >= count; }, 15000)
                   && wavs(folder).size() == count;
        };

        putOnClipboard(QStringLiteral("nächste Haltestelle: Ohne Bus"), nextCallNumber());
        QVERIFY(spoken(1));

        QVERIFY(bus.registerService(applicationId));
        QTRY_VERIFY(bus.interface()->isServiceRegistered(applicationId).value());
        const auto announce = [&](QDBusConnection& from, const QString& sentence) {
            QDBusMessage signal = QDBusMessage::createSignal(objectPath, controlUnitInterface, QStringLiteral("Announced"));
            signal << sentence;
            QVERIFY(from.send(signal));
        };
        announce(bus, QStringLiteral("nächste Haltestelle: Nur Bus"));
        QVERIFY(spoken(2));
        // The simulator does both for each call.
        putOnClipboard(QStringLiteral("nächste Haltestelle: Beides"), nextCallNumber());
        announce(bus, QStringLiteral("nächste Haltestelle: Beides"));
        QVERIFY(spoken(3));
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fremd"));
        announce(other, QStringLiteral("nächste Haltestelle: Fremd"));
        QTest::qWait(1500);
        announce(bus, QStringLiteral("nächste Haltestelle: Danach"));
        QVERIFY(spoken(4));
        QTest::qWait(1500);
        QCOMPARE(companion.said().count("Beides"), 1);
        QCOMPARE(companion.said().count("Fremd"), 0);
        QDBusConnection::disconnectFromBus(QStringLiteral("fremd"));
        // A copy whose signal never comes, as from a simulator leaving the
        // bus before the companion has heard so, is still spoken, once.
        putOnClipboard(QStringLiteral("nächste Haltestelle: Nur Kopie"), nextCallNumber());
        QVERIFY2(spoken(5), companion.said().constData());

        // Whether the companion hears of the leaving before the next copy
        // or after it, the copy is spoken.
        QVERIFY(bus.unregisterService(applicationId));
        QTRY_VERIFY(!bus.interface()->isServiceRegistered(applicationId).value());
        putOnClipboard(QStringLiteral("nächste Haltestelle: Wieder ohne"), nextCallNumber());
        QVERIFY2(spoken(6), companion.said().constData());
        QCOMPARE(companion.said().count("Wieder ohne"), 1);
        QCOMPARE(companion.said().count("Nur Kopie"), 1);
    }

    // The order the README recommends: the real simulator first, then the
    // companion, which must find it on the bus already there. Each call
    // comes both ways, as the signal and as the numbered copy on the
    // clipboard, and is taken once: its name is in one line of the
    // companion's (spoken, skipped or cut off), not two.
    void simulatorStartedFirst()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        QVERIFY(!bus.interface()->isServiceRegistered(applicationId).value());
        Simulator simulator(withBus());
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered(applicationId).value(), 30000);
        // On the test's X display, the door says.
        QCOMPARE(callSimulator("Get", {controlUnitInterface, "Display"}, QStringLiteral("org.freedesktop.DBus.Properties"))
                     .arguments()
                     .value(0)
                     .value<QDBusVariant>()
                     .variant(),
                 QVariant(qEnvironmentVariable("DISPLAY")));

        const QString folder = scratch.filePath(QStringLiteral("zuerst"));
        Companion companion({"--wav-dir", folder, "--ohne-gong"}, withBus());
        QVERIFY(companion.ready());
        QVERIFY(loadRoute());
        // Each call waits for the one before to be spoken: a twin of it,
        // taken from the other way, comes within milliseconds of it.
        for (const uint stop : {1u, 2u}) {
            const int before = int(companion.said().count("Ansage ("));
            QCOMPARE(callSimulator("CallStop", {stop}).type(), QDBusMessage::ReplyMessage);
            QVERIFY2(QTest::qWaitFor([&] { return companion.said().count("Ansage (") > before; }, 15000),
                     companion.out.constData());
        }
        QCOMPARE(companion.said().count("Westkreuz"), 1);
        QCOMPARE(companion.said().count("Nordtor"), 1);
        QCOMPARE(wavs(folder).size(), 2);
    }

    // One user's two graphical logins on one session bus. The simulator of
    // the other desktop (a second X server's) owns the name and names its
    // display: its calls are spoken there, not here. This desktop's own
    // simulator does not hand over to it but runs without the bus, and is
    // still heard through the clipboard (the test plays its calls, as the
    // owner of this display's clipboard).
    void twoDesktopsOneBus()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        QVERIFY(!bus.interface()->isServiceRegistered(applicationId).value());
        QProcess otherX;
        const QString otherDisplay = startXvfb(otherX);
        const auto endX = qScopeGuard([&] {
            otherX.terminate();
            otherX.waitForFinished();
        });
        QVERIFY(!otherDisplay.isEmpty());
        QProcessEnvironment there = withBus();
        there.insert(QStringLiteral("DISPLAY"), otherDisplay);
        Simulator simulator(there);
        QTRY_VERIFY_WITH_TIMEOUT(bus.interface()->isServiceRegistered(applicationId).value(), 30000);

        const QString hereFolder = scratch.filePath(QStringLiteral("hier")), awayFolder = scratch.filePath(QStringLiteral("dort"));
        Companion here({"--wav-dir", hereFolder, "--ohne-gong"}, withBus());
        Companion away({"--wav-dir", awayFolder, "--ohne-gong"}, there);
        QVERIFY(here.ready());
        QVERIFY(away.ready());
        Simulator own(withBus());
        const QByteArray ownLine = "anderen Desktop (" + otherDisplay.toUtf8() + ")";
        QVERIFY2(QTest::qWaitFor([&] { return own.said().contains(ownLine) || own.process.state() == QProcess::NotRunning; },
                                 30000),
                 own.out.constData());
        QCOMPARE(own.process.state(), QProcess::Running);
        QVERIFY(loadRoute());
        QCOMPARE(callSimulator("CallStop", {1u}).type(), QDBusMessage::ReplyMessage);
        QVERIFY2(QTest::qWaitFor([&] { return away.said().contains("Ansage ("); }, 15000), away.out.constData());
        putOnClipboard(QStringLiteral("nächste Haltestelle: Hierplatz"), nextCallNumber());
        QVERIFY2(QTest::qWaitFor([&] { return here.said().contains("Ansage ("); }, 15000), here.out.constData());
        // The signal reached both at once; the clipboard call came after.
        QCOMPARE(away.said().count("Westkreuz"), 1);
        QCOMPARE(here.said().count("Westkreuz"), 0);
        QCOMPARE(here.said().count("Hierplatz"), 1);
        QCOMPARE(away.said().count("Hierplatz"), 0);
        QCOMPARE(wavs(hereFolder).size(), 1);
        QCOMPARE(wavs(awayFolder).size(), 1);
        // Said once, by this desktop's companion.
        QCOMPARE(here.said().count("auf einem anderen Desktop (" + otherDisplay.toUtf8() + ")"), 1);
        QCOMPARE(away.said().count("anderen Desktop"), 0);
    }

    // What counts as a program that takes the clipboard over: a new owner
    // right after another had set it. Each row: the owners one after the
    // other (window and the server's time in ms; window 0: the owner left).
    void clipboardTakeover_data()
    {
        QTest::addColumn<Owners>("owners");
        QTest::addColumn<bool>("takenOver");
        QTest::newRow("right after another") << Owners{{1, 1000}, {2, 1100}} << true;
        QTest::newRow("just within the moment") << Owners{{1, 1000}, {2, 1000 + ClipboardTakeover::WithinMs}} << true;
        QTest::newRow("when the server's clock wraps") << Owners{{1, 0xffffff00}, {2, 0x10}} << true;
        QTest::newRow("the first owner seen") << Owners{{2, 1000}} << false;
        QTest::newRow("the same owner again") << Owners{{1, 1000}, {1, 1100}} << false;
        QTest::newRow("a copy much later") << Owners{{1, 1000}, {2, 1000 + ClipboardTakeover::WithinMs + 1}} << false;
        // A manager that puts the text back once its owner has ended.
        QTest::newRow("after the owner left") << Owners{{1, 1000}, {0, 1050}, {2, 1100}} << false;
        QTest::newRow("the taker left") << Owners{{1, 1000}, {2, 1100}, {0, 1200}} << false;
    }

    void clipboardTakeover()
    {
        QFETCH(Owners, owners);
        QFETCH(bool, takenOver);
        ClipboardTakeover takeover;
        for (const auto& [owner, time] : owners)
            takeover.ownerChanged(owner, time);
        QCOMPARE(takeover.takenOver(), takenOver);
    }

    // xclipboard takes the clipboard over after each change and offers the
    // text alone, so without a bus the calls are lost: the companion says
    // so once, naming the program, and hears calls again once it is gone.
    void programTakingTheClipboardOver()
    {
        if (tool("xclipboard").isEmpty())
            QSKIP("xclipboard (Debian package x11-apps) is needed");
        Companion companion({"--wav-dir", scratch.filePath(QStringLiteral("uebernommen")), "--ohne-gong"}, withoutBus());
        QVERIFY(companion.ready());
        QProcess xclipboard;
        xclipboard.start(tool("xclipboard"), {});
        const auto ending = qScopeGuard([&] {
            xclipboard.kill();
            xclipboard.waitForFinished();
        });
        // It takes the clipboard as it starts.
        QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->ownsClipboard() && QGuiApplication::clipboard()->mimeData()
                                     && QGuiApplication::clipboard()->mimeData()->hasText(),
                                 15000);
        const auto hints = [&] {
            companion.said();
            return int(companion.err.count("(„xclipboard“) übernimmt"));
        };
        // A call may still be heard now and then, where the companion asks
        // before xclipboard has taken it.
        for (int call = 0; call < 10; ++call) {
            putOnClipboard(QStringLiteral("nächste Haltestelle: Genommen %1").arg(call), nextCallNumber());
            QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->ownsClipboard(), 15000);
            if (QTest::qWaitFor([&] { return hints() > 0; }, 1000))
                break;
        }
        QVERIFY2(hints() == 1, companion.err.constData());
        QVERIFY2(companion.err.contains("xclipboard schließen"), companion.err.constData());
        // More lost calls: said once.
        putOnClipboard(QStringLiteral("nächste Haltestelle: Wieder genommen"), nextCallNumber());
        QTRY_VERIFY_WITH_TIMEOUT(!QGuiApplication::clipboard()->ownsClipboard(), 15000);
        xclipboard.terminate();
        QVERIFY(xclipboard.waitForFinished(15000));
        putOnClipboard(QStringLiteral("nächste Haltestelle: Frei"), nextCallNumber());
        QVERIFY2(QTest::qWaitFor([&] { return companion.said().contains("Frei"); }, 15000), companion.out.constData());
        QCOMPARE(hints(), 1);
    }

    // A second start on the same desktop says so in one line and ends
    // with 0, with or without a bus; once the first has ended, a new one
    // starts.
    void oneCompanionPerDesktop_data()
    {
        QTest::addColumn<bool>("bus");
        QTest::newRow("mit Sitzungsbus") << true;
        QTest::newRow("ohne Sitzungsbus") << false;
    }

    void oneCompanionPerDesktop()
    {
        QFETCH(bool, bus);
        if (bus && !QDBusConnection::sessionBus().isConnected())
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        const QProcessEnvironment env = bus ? withBus() : withoutBus();
        const QString folder = scratch.filePath(QStringLiteral("einmal"));
        auto first = std::make_unique<Companion>(QStringList{"--wav-dir", folder}, env);
        QVERIFY(first->ready());
        // The same desktop named another way.
        QProcessEnvironment screen = env;
        screen.insert(QStringLiteral("DISPLAY"), env.value(QStringLiteral("DISPLAY")) + QStringLiteral(".0"));
        for (const QProcessEnvironment& second : {env, screen}) {
            Companion again({"--wav-dir", folder}, second);
            QVERIFY(again.process.waitForFinished(15000));
            QCOMPARE(again.process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(again.process.exitCode(), 0);
            QCOMPARE(again.said(), QByteArray("Auf diesem Desktop spricht schon ein pendralumovista-ansage; kein zweites.\n"));
        }
        QCOMPARE(first->process.state(), QProcess::Running);
        first.reset();
        Companion next({"--wav-dir", folder}, env);
        QVERIFY(next.ready());
    }

    // With no bus announced, neither program starts one of its own (the
    // D-Bus library would, through dbus-launch, for Qt's accessibility
    // bridge): the simulator alone, and the companion with its simulator,
    // which gets the companion's environment; each under strace until the
    // simulator's windows are up.
    void noBusDaemonWithoutABus_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::newRow("Simulator") << QStringList{PENDRALUMOVISTA_BINARY};
        QTest::newRow("Begleiter mit Simulator")
            << QStringList{ANSAGE_BINARY, "--mit-simulator", "--wav-dir", scratch.filePath(QStringLiteral("ohne-bus"))};
    }

    void noBusDaemonWithoutABus()
    {
        QFETCH(QStringList, command);
        if (tool("strace").isEmpty() || tool("xdotool").isEmpty())
            QSKIP("strace and xdotool are needed");
        QProcessEnvironment env = withoutBus();
        env.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(PENDRALUMOVISTA_BINARY)).absolutePath() + u':'
                                               + env.value(QStringLiteral("PATH")));
        const QString log = scratch.filePath(QStringLiteral("execve.log"));
        Companion traced(QStringList{"-f", "-qq", "-e", "trace=execve", "-o", log} + command, env, tool("strace"));
        // The windows are up: the application object, and with it the
        // accessibility bridge, has started.
        QProcess search;
        search.setProcessEnvironment(env);
        search.start(tool("xdotool"), {"search", "--sync", "--onlyvisible", "--class", "^Pendralumovista$"});
        QVERIFY(search.waitForFinished(30000));
        QCOMPARE(search.exitCode(), 0);
        // The program is strace's child; strace ends with it (and the
        // companion ends its simulator).
        QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(traced.process.processId()));
        QVERIFY(children.open(QIODevice::ReadOnly));
        const qint64 child = children.readAll().trimmed().toLongLong();
        QVERIFY(child > 0);
        ::kill(pid_t(child), SIGTERM);
        QVERIFY(traced.process.waitForFinished(15000));
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray calls = file.readAll();
        QVERIFY2(calls.contains("/pendralumovista\""), calls.constData()); // the simulator's start was seen
        QVERIFY2(!calls.contains("dbus"), calls.constData());
    }
};

int main(int argc, char** argv)
{
    QProcess xvfb;
    const QString display = startXvfb(xvfb);
    if (display.isEmpty()) {
        std::fputs("Xvfb did not start\n", stderr);
        return 1;
    }
    qputenv("DISPLAY", display.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    int status = 0;
    {
        QGuiApplication application(argc, argv);
        TestAnsageCalls test;
        status = QTest::qExec(&test, argc, argv);
    }
    xvfb.terminate();
    xvfb.waitForFinished();
    return status;
}

#include "tst_ansage_calls.moc"
