// The door on the session bus, served by the windows in this process, called
// over a bus of the test's own as any other program would call it; and the
// command-line client, the real program, against this door.

#include "mouse.h"
#include "scriptedplatform.h"

#include <busdoor.h>
#include <startup.h>
#include <feed.h>

#include <QApplication>
#include <QClipboard>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDialog>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QDBusMetaType>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

#ifndef PENDRALUMOVISTA_BINARY
#error "PENDRALUMOVISTA_BINARY must name the program under test"
#endif

namespace {
const QString service = QStringLiteral("io.github.pendralumovista.Pendralumovista");
const QString path = QStringLiteral("/io/github/pendralumovista/Pendralumovista");
const QString unitInterface = QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit");
const QString errors = QStringLiteral("io.github.pendralumovista.Pendralumovista.Error.");
const QString invalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// CurrentStop arrives as its marshalled structure (u number, s name).
std::pair<uint, QString> stopOf(const QVariant& marshalled)
{
    const QDBusArgument stop = marshalled.value<QDBusArgument>();
    uint index = 0;
    QString name;
    stop.beginStructure();
    stop >> index >> name;
    stop.endStructure();
    return {index, name};
}
} // namespace

// The interface file: each method's arguments in and out, as signatures, and
// each property's type, by "interface.member".
struct Contract {
    QMap<QString, QPair<QString, QString>> methods;
    QMap<QString, QString> properties;
    QString error;
};

Contract contractOf(const QString& xml)
{
    Contract contract;
    QXmlStreamReader reader(xml);
    QString interface, method;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement()) {
            if (reader.name() == QLatin1String("method") || reader.name() == QLatin1String("signal"))
                method.clear();
            continue;
        }
        if (!reader.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        const QString name = attributes.value(QLatin1String("name")).toString();
        if (reader.name() == QLatin1String("interface")) {
            interface = name;
        } else if (reader.name() == QLatin1String("method")) {
            method = interface + u'.' + name;
            contract.methods.insert(method, {});
        } else if (reader.name() == QLatin1String("signal")) {
            method.clear();
        } else if (reader.name() == QLatin1String("arg") && !method.isEmpty()) {
            auto& [in, out] = contract.methods[method];
            (attributes.value(QLatin1String("direction")) == QLatin1String("out") ? out : in) +=
                attributes.value(QLatin1String("type"));
        } else if (reader.name() == QLatin1String("property")) {
            contract.properties.insert(interface + u'.' + name, attributes.value(QLatin1String("type")).toString());
        }
    }
    if (reader.hasError())
        contract.error = reader.errorString();
    return contract;
}

QString interfaceFile()
{
    QFile file(QStringLiteral(PENDRALUMOVISTA_INTERFACE_FILE));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What a client hears, in the order it hears it.
class Listener : public QObject {
    Q_OBJECT
public:
    struct Heard {
        QString what; // "changed" or "announced"
        QVariantMap changed;
        QString sentence;
    };
    QList<Heard> heard;
    // What a client caches from PropertiesChanged, as a Gio proxy does.
    QVariantMap cache;
    // The cached current stop's name at each Announced.
    QStringList stopAtAnnouncement;

public slots:
    void changed(const QString&, const QVariantMap& properties, const QStringList&)
    {
        heard.append({QStringLiteral("changed"), properties, {}});
        cache.insert(properties);
    }
    void announced(const QString& sentence)
    {
        heard.append({QStringLiteral("announced"), {}, sentence});
        stopAtAnnouncement << stopOf(cache.value(QStringLiteral("CurrentStop"))).second;
    }
};

class TestBusDoor : public QObject {
    Q_OBJECT

    ScriptedPlatform platform;
    std::unique_ptr<bus::Door> door;
    std::unique_ptr<Windows> windows;
    std::unique_ptr<state::Feed> feed;
    QDBusConnection client{QStringLiteral("none")};
    QTemporaryDir scratch;
    QString route;

    // A program just started, at the route's first stop when `loaded`.
    void fresh(bool loaded = true, bus::WebRequest webRequest = {})
    {
        feed.reset();
        windows.reset();
        windows = std::make_unique<Windows>();
        feed = std::make_unique<state::Feed>(windows->sign(), windows->controlUnit());
        door->serve(*feed, std::move(webRequest));
        if (loaded)
            QCOMPARE(call(QStringLiteral("LoadStops"), {route}).type(), QDBusMessage::ReplyMessage);
    }

    TForm2& unit() { return windows->controlUnit(); }

    // Waits for the answer with the event loop running: the door answers on
    // this thread.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {}, const QString& interface = unitInterface)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return client.call(message, QDBus::BlockWithGui, 10000);
    }

    QVariant property(const QString& name)
    {
        const QDBusMessage reply = call(QStringLiteral("Get"), {unitInterface, name},
                                        QStringLiteral("org.freedesktop.DBus.Properties"));
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    // Everything a caller can read: the properties, the clipboard, which
    // windows show.
    QVariantMap state()
    {
        const QDBusMessage reply =
            call(QStringLiteral("GetAll"), {unitInterface}, QStringLiteral("org.freedesktop.DBus.Properties"));
        QVariantMap all = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        // The structure compared as text.
        const auto [index, name] = stopOf(all.value(QStringLiteral("CurrentStop")));
        all.insert(QStringLiteral("CurrentStop"), QStringLiteral("%1 %2").arg(index).arg(name));
        all.insert(QStringLiteral("clipboard"), QApplication::clipboard()->text());
        all.insert(QStringLiteral("sign shown"), windows->sign().isVisible());
        all.insert(QStringLiteral("help shown"), windows->help().isVisible());
        return all;
    }

    void pressAll(const QStringList& keys)
    {
        for (const QString& key : keys)
            QCOMPARE(call(QStringLiteral("PressKey"), {key}).type(), QDBusMessage::ReplyMessage);
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile file(scratch.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    // A route whose first name is longer than the sign, loaded.
    void SetLongRoute()
    {
        const QString longRoute = writeFile(QStringLiteral("lang.txt"),
                                            "Gewerbepark An der Fl\xf6\xdf" "erstra\xdf" "e\r\nSchule\r\n");
        QCOMPARE(call(QStringLiteral("LoadStops"), {longRoute}).type(), QDBusMessage::ReplyMessage);
    }

    struct Run {
        int exitCode = -1;
        QString out, err;
    };
    // The real program as a client, while this process serves its calls.
    Run runProgram(const QStringList& arguments, const QString& busAddress = {})
    {
        Run run;
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!busAddress.isEmpty())
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), arguments);
        program.waitForStarted();
        QElapsedTimer waited;
        waited.start();
        while (program.state() != QProcess::NotRunning && waited.elapsed() < 30000)
            QTest::qWait(20);
        if (program.state() != QProcess::NotRunning)
            qWarning("the program did not end");
        else
            run = {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
                   QString::fromUtf8(program.readAllStandardError())};
        return run;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(scratch.isValid());
        route = writeFile(QStringLiteral("linie 3.txt"), "Hauptbahnhof\r\nM\xfcllerstra\xdf" "e\r\nAm Markt\r\nDepot\r\n");
        door = std::make_unique<bus::Door>();
        QVERIFY(!door->handedOver());
        client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("tst-client"));
        QVERIFY(client.isConnected());
    }

    void cleanupTestCase()
    {
        feed.reset();
        windows.reset();
        door.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tst-client"));
    }

    // Every key by its name over the bus does what a click on it does, seen
    // from outside: properties, clipboard, windows. Each key is pressed
    // where it shows an effect of its own. "Schließen" ends the program's
    // event loops, so it comes last, alone.
    void everyKeyOverTheBusEqualsTheMouse_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("before");
        for (const char* digit : {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"})
            QTest::newRow(digit) << QString::fromLatin1(digit) << QStringList{"C"};
        QTest::newRow("C") << "C" << QStringList{"Menü", "Menü"};
        QTest::newRow("M") << "M" << QStringList{"C", "2"};
        QTest::newRow("Menü") << "Menü" << QStringList();
        QTest::newRow("Anzeige") << "Anzeige" << QStringList();
        QTest::newRow("Auto") << "Auto" << QStringList();
        QTest::newRow("Endstelle") << "Endstelle" << QStringList();
        QTest::newRow("up") << "up" << QStringList{"C", "2", "M"};
        QTest::newRow("down") << "down" << QStringList();
        QTest::newRow("soft1") << "soft1" << QStringList{"Menü"};
        QTest::newRow("soft2") << "soft2" << QStringList{"Menü"};
        QTest::newRow("soft3") << "soft3" << QStringList{"Menü"};
    }

    void everyKeyOverTheBusEqualsTheMouse()
    {
        QFETCH(QString, key);
        QFETCH(QStringList, before);
        TForm2* u = nullptr;
        auto controlOf = [&]() -> tk::Control* {
            const QMap<QString, tk::Control*> controls{
                {"0", u->Label00}, {"1", u->Label01}, {"2", u->Label02}, {"3", u->Label03}, {"4", u->Label04},
                {"5", u->Label05}, {"6", u->Label06}, {"7", u->Label07}, {"8", u->Label08}, {"9", u->Label09},
                {"C", u->Label0C}, {"M", u->Label0M}, {"Menü", u->Label5}, {"Anzeige", u->Label6},
                {"Auto", u->Label7}, {"Endstelle", u->Label9}, {"Schließen", u->Label4}, {"up", u->Shape1},
                {"down", u->Shape2}, {"soft1", u->Shape8}, {"soft2", u->Shape9}, {"soft3", u->Shape10}};
            return controls.value(key);
        };
        const QString other = writeFile(QStringLiteral("andere.txt"), "Nord\r\nS\xfc" "d\r\n");
        QVariantMap byBus, byMouse, untouched;
        for (int way = 0; way < 2; ++way) {
            fresh();
            u = &unit();
            QApplication::clipboard()->clear();
            pressAll(before);
            if (way == 0)
                untouched = state();
            // The same answers for the dialogs either way.
            platform.inputAnswers = {tk::Text("7"), tk::Text("Ost")};
            platform.fileAnswers = {other};
            if (way == 0) {
                QCOMPARE(call(QStringLiteral("PressKey"), {key}).type(), QDBusMessage::ReplyMessage);
                byBus = state();
            } else {
                QVERIFY(controlOf());
                clickControl(controlOf());
                byMouse = state();
            }
        }
        QCOMPARE(byBus, byMouse);
        QVERIFY2(byBus != untouched, "the key showed no effect here; the row proves nothing");
    }

    // Names as scripts write them: any case, and ASCII for the umlaut and ß.
    void keyNamesInAnyCaseAndAscii()
    {
        fresh();
        uint page = 0;
        for (const char* menu : {"MENÜ", "Menue", "menu"}) {
            QCOMPARE(call(QStringLiteral("PressKey"), {QString::fromUtf8(menu)}).type(), QDBusMessage::ReplyMessage);
            page = 1 - page;
            QCOMPARE(property(QStringLiteral("MenuPage")).toUInt(), page);
        }
        pressAll({"menu"});
        QCOMPARE(call(QStringLiteral("PressKey"), {QStringLiteral("DOWN")}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("SignText")).toString(), QString::fromUtf8("Müllerstraße"));
        // "Schliessen" is a key too; pressed, it would end this program.
        QVERIFY(bus::isKeyName(QStringLiteral("Schliessen")) && bus::isKeyName(QStringLiteral("SCHLIESSEN")));
        QVERIFY(!bus::isKeyName(QStringLiteral("Menüe")) && !bus::isKeyName(QStringLiteral("soft4")));
        QCOMPARE(property(QStringLiteral("Keys")).toStringList(), bus::keyNames());
    }

    // The whole state, and how it changes: the properties reach a listener
    // before the announcement of the same call, the dark sign of the line
    // entry is published, and each page of a long name.
    void changesArePublishedBeforeTheirAnnouncement()
    {
        fresh();
        Listener listener;
        QVERIFY(client.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                               QStringLiteral("PropertiesChanged"), &listener,
                               SLOT(changed(QString, QVariantMap, QStringList))));
        QVERIFY(client.connect(service, path, unitInterface, QStringLiteral("Announced"), &listener,
                               SLOT(announced(QString))));
        // What a proxy reads at its start.
        const QDBusMessage all =
            call(QStringLiteral("GetAll"), {unitInterface}, QStringLiteral("org.freedesktop.DBus.Properties"));
        listener.cache = qdbus_cast<QVariantMap>(all.arguments().value(0));
        pressAll({"down"});
        QCOMPARE(call(QStringLiteral("CallStop"), {3u}).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(listener.stopAtAnnouncement.size(), 2);
        QCOMPARE(listener.stopAtAnnouncement, QStringList({QString::fromUtf8("Müllerstraße"), "Depot"}));
        QCOMPARE(listener.heard.last().sentence, QString::fromUtf8("nächste Haltestelle: Depot"));

        // Line and destination: the sign goes dark while the boxes are
        // open, and a listener hears of it then.
        listener.heard.clear();
        platform.inputAnswers = {tk::Text("7"), tk::Text("Ost")};
        pressAll({"Menü", "soft1"});
        QTRY_VERIFY(!listener.heard.isEmpty() && listener.cache.value("SignText") == QStringLiteral("  7 Ost"));
        QStringList signTexts;
        for (const Listener::Heard& heard : listener.heard)
            if (heard.changed.contains(QStringLiteral("SignText")))
                signTexts << heard.changed.value(QStringLiteral("SignText")).toString();
        QCOMPARE(signTexts, QStringList({"", "  7 Ost"}));
        QCOMPARE(listener.cache.value("SignPages").toStringList(), QStringList{"  7 Ost"});
        QCOMPARE(listener.cache.value("Line").toString(), QStringLiteral("7"));

        // A long name: two pages; the page change is published.
        SetLongRoute();
        listener.heard.clear();
        pressAll({"Menü"});
        QCOMPARE(call(QStringLiteral("CallStop"), {0u}).type(), QDBusMessage::ReplyMessage);
        const QString both = QString::fromUtf8("Gewerbepark An der\nFlößerstraße");
        QTRY_COMPARE(listener.cache.value("SignText").toString(), both);
        QCOMPARE(listener.cache.value("SignPages").toStringList(), both.split(u'\n'));
        QCOMPARE(listener.cache.value("SignPageShown").toInt(), 0);
        windows->sign().Timer1->OnTimer(); // the page change
        QTRY_COMPARE(listener.cache.value("SignPageShown").toInt(), 1);
        QCOMPARE(listener.cache.value("SignText").toString(), both);
    }

    // What the keys depend on, and what a turn does to the destination.
    void theWholeStateIsReadable()
    {
        fresh(false);
        QCOMPARE(property(QStringLiteral("RouteLoaded")), QVariant(false));
        QCOMPARE(property(QStringLiteral("Version")).toUInt(), 4u);
        // No X display on the offscreen platform, whatever DISPLAY says.
        const QByteArray display = qgetenv("DISPLAY");
        qputenv("DISPLAY", ":7");
        QCOMPARE(property(QStringLiteral("Display")), QVariant(QString()));
        display.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
        QCOMPARE(call(QStringLiteral("CallStop"), {0u}).errorName(), errors + "NoRoute");
        const QString empty = writeFile(QStringLiteral("leer.txt"), "\r\nZwei\r\n");
        QCOMPARE(call(QStringLiteral("LoadStops"), {empty}).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("RouteLoaded")), QVariant(true));
        QCOMPARE(property(QStringLiteral("Stops")).toStringList(), QStringList({"", "Zwei"}));

        fresh();
        QCOMPARE(property(QStringLiteral("StopCount")).toUInt(), 4u);
        call(QStringLiteral("SetLineDestination"), {QStringLiteral("3"), QStringLiteral("Zoo")});
        // Reversing by hand, as the double click on Auto does.
        QCOMPARE(call(QStringLiteral("ReverseDirection")).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("Direction")).toString(), QStringLiteral("B"));
        QCOMPARE(call(QStringLiteral("ReverseDirection")).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("Direction")).toString(), QStringLiteral("A"));
        // An automatic step at the first stop turns towards the last one.
        pressAll({"Menü", "Menü", "Auto"});
        QCOMPARE(property(QStringLiteral("AutoAdvance")), QVariant(true));
        unit().Timer3->OnTimer();
        QCOMPARE(property(QStringLiteral("Destination")).toString(), QStringLiteral("Zoo"));
        QCOMPARE(property(QStringLiteral("LineDestinationText")).toString(), QStringLiteral("  3 Depot"));
        QCOMPARE(property(QStringLiteral("DisplayTitle")).toStringList(), QStringList{"Depot"});
        QCOMPARE(property(QStringLiteral("DisplayLines")).toStringList(),
                 QStringList({QString::fromUtf8("Müllerstraße"), "", "Am Markt"}));
        // The settings as typed, on the menu's second page.
        pressAll({"Menü", "down"});
        QCOMPARE(property(QStringLiteral("MenuPage")).toUInt(), 2u);
        pressAll({"soft3", "9"});
        QCOMPARE(property(QStringLiteral("EntryMode")).toUInt(), 2u);
        pressAll({"M", "4", "M", "soft1"});
        QCOMPARE(property(QStringLiteral("AutoIntervalSeconds")).toInt(), 9);
        QCOMPARE(property(QStringLiteral("AutoScatterSeconds")).toInt(), 4);
        QCOMPARE(property(QStringLiteral("ShowLineDestination")), QVariant(false));
    }

    // A dialog of the program refuses every call, and says so in DialogOpen.
    void callsWaitForAnOpenDialog()
    {
        fresh();
        platform.fileDialogOffers.clear();
        pressAll({"Menü"});
        // A client learns of the dialog from PropertiesChanged, as it learns
        // of every change, without asking.
        Listener listener;
        QVERIFY(client.connect(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                               QStringLiteral("PropertiesChanged"), &listener,
                               SLOT(changed(QString, QVariantMap, QStringList))));
        QDialog box;
        box.setModal(true);
        box.show();
        QTRY_COMPARE(listener.cache.value(QStringLiteral("DialogOpen")), QVariant(true));
        QCOMPARE(property(QStringLiteral("DialogOpen")), QVariant(true));
        for (const auto& [method, arguments] :
             std::initializer_list<std::pair<QString, QVariantList>>{{"PressKey", {"soft2"}},
                                                                     {"LoadStops", {route}},
                                                                     {"CallStop", {1u}},
                                                                     {"SetLineDestination", {"1", "Ost"}},
                                                                     {"ReverseDirection", {}}})
            QCOMPARE(call(method, arguments).errorName(), errors + "DialogOpen");
        QVERIFY(platform.fileDialogOffers.empty()); // no second dialog opened
        box.hide();
        QTRY_COMPARE(listener.cache.value(QStringLiteral("DialogOpen")), QVariant(false));
    }

    // Errors a program can branch on, with German messages; a refused call
    // changes nothing.
    void refusalsHaveTheirOwnNames_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("message"); // a part of it
        const QString app = QStringLiteral("org.freedesktop.Application");
        const QString missing = scratch.filePath(QStringLiteral("fehlt.txt"));
        QByteArray manyLines;
        for (int i = 0; i < 100; ++i)
            manyLines += "Halt\r\n";
        const QString tooMany = writeFile(QStringLiteral("hundert.txt"), manyLines);
        const QString tooBig = writeFile(QStringLiteral("gross.txt"), QByteArray((1 << 20) + 1, 'x'));
        QTest::newRow("missing file") << unitInterface << "LoadStops" << QVariantList{missing} << errors + "NotFound"
                                      << QString::fromUtf8("„fehlt.txt“ gibt es nicht");
        QTest::newRow("folder") << unitInterface << "LoadStops" << QVariantList{scratch.path()}
                                << errors + "NotAStopFile" << "ist ein Ordner";
        QTest::newRow("100 stops") << unitInterface << "LoadStops" << QVariantList{tooMany} << errors + "NotAStopFile"
                                   << "mehr als 99 Haltestellen";
        QTest::newRow("over 1 MB") << unitInterface << "LoadStops" << QVariantList{tooBig} << errors + "NotAStopFile"
                                   << QString::fromUtf8("größer als 1 MB");
        QTest::newRow("relative path") << unitInterface << "LoadStops" << QVariantList{"linie.txt"} << invalidArgs
                                       << "vollständig";
        // Cut short, it would name the folder of "//" + its last part.
        QTest::newRow("path too long") << unitInterface << "LoadStops"
                                       << QVariantList{QString(4094, u'/') + QString(1916, u'a')} << invalidArgs
                                       << "zu lang (6010 Zeichen, höchstens 4096)";
        QTest::newRow("unknown key") << unitInterface << "PressKey" << QVariantList{"Enter"} << errors + "UnknownKey"
                                     << "Endstelle";
        QTest::newRow("key as a number") << unitInterface << "PressKey" << QVariantList{5} << invalidArgs
                                         << "(s), nicht (i)";
        QTest::newRow("control characters") << unitInterface << "SetLineDestination"
                                            << QVariantList{"7\r\n", "8\t"} << invalidArgs << "Steuerzeichen";
        QTest::newRow("no such stop") << unitInterface << "CallStop" << QVariantList{4u} << invalidArgs
                                      << "von 0 bis 3";
        QTest::newRow("unknown action") << app << "ActivateAction" << QVariantList{"jump", QVariantList(), QVariantMap()}
                                        << errors + "UnknownAction" << "next-stop";
        QTest::newRow("remote file") << app << "Open"
                                     << QVariantList{QStringList{"file://elsewhere" + route}, QVariantMap()}
                                     << invalidArgs << "dieses Rechners";
        QTest::newRow("web address") << app << "Open" << QVariantList{QStringList{"https://example.org/a.txt"}, QVariantMap()}
                                     << invalidArgs << "dieses Rechners";
    }

    void refusalsHaveTheirOwnNames()
    {
        QFETCH(QString, interface);
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, error);
        QFETCH(QString, message);
        fresh();
        pressAll({"down"});
        const QVariantMap before = state();
        const QDBusMessage reply = call(method, arguments, interface);
        QCOMPARE(reply.errorName(), error);
        QVERIFY2(reply.errorMessage().contains(message), qPrintable(reply.errorMessage()));
        QCOMPARE(state(), before);
    }

    // What the input boxes and the desktop can do, the door does too, no
    // more: 255 characters, a file on this machine, the actions of the menu
    // entry in the standard view only.
    void acceptedAsTheFaceWouldAccept()
    {
        fresh();
        call(QStringLiteral("SetLineDestination"), {QString(300, u'7'), QString::fromUtf8("Zoo äöü") + QString(300, u'x')});
        QCOMPARE(property(QStringLiteral("Line")).toString(), QString(255, u'7'));
        QCOMPARE(property(QStringLiteral("Destination")).toString(), QString::fromUtf8("Zoo äöü") + QString(248, u'x'));

        const QString other = writeFile(QStringLiteral("andere Linie.txt"), "Nord\r\nS\xfc" "d\r\n");
        const QDBusMessage opened = call(QStringLiteral("Open"),
                                         {QStringList{"file://localhost" + QUrl::toPercentEncoding(other, "/")},
                                          QVariantMap()},
                                         QStringLiteral("org.freedesktop.Application"));
        QCOMPARE(opened.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("Stops")).toStringList(), QStringList({"Nord", QString::fromUtf8("Süd")}));

        auto action = [&](const char* name) {
            return call(QStringLiteral("ActivateAction"), {QString::fromLatin1(name), QVariantList(), QVariantMap()},
                        QStringLiteral("org.freedesktop.Application"));
        };
        QCOMPARE(action("next-stop").type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("SignText")).toString(), QString::fromUtf8("Süd"));
        pressAll({"Menü"});
        QCOMPARE(action("previous-stop").errorName(), errors + "NotInStandardView");
        QCOMPARE(property(QStringLiteral("MenuPage")).toUInt(), 1u);
        QCOMPARE(action("toggle-display").type(), QDBusMessage::ReplyMessage);
        QCOMPARE(property(QStringLiteral("DisplayOn")), QVariant(false));

        // A NUL in a stop name: the same text on the bus and the clipboard.
        const QString nul = writeFile(QStringLiteral("nul.txt"), QByteArray("A\0B\r\nEnde\r\n", 11));
        call(QStringLiteral("LoadStops"), {nul});
        pressAll({"Menü", "Anzeige"});
        Listener heard; // and in the announcement
        QVERIFY(client.connect(service, path, unitInterface, QStringLiteral("Announced"), &heard, SLOT(announced(QString))));
        QCOMPARE(call(QStringLiteral("CallStop"), {0u}).type(), QDBusMessage::ReplyMessage);
        const QString name = QStringLiteral("A\uFFFDB");
        QCOMPARE(property(QStringLiteral("SignText")).toString(), name);
        QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("nächste Haltestelle: ") + name);
        QTRY_COMPARE(heard.heard.size(), 1);
        QCOMPARE(heard.heard[0].sentence, QString::fromUtf8("nächste Haltestelle: ") + name);
        QCOMPARE(property(QStringLiteral("Stops")).toStringList().value(0), name);
    }

    // The introspection documents every member and says nothing of Qt.
    void introspectionDocumentsTheInterface()
    {
        fresh();
        const QString xml = call(QStringLiteral("Introspect"), {}, QStringLiteral("org.freedesktop.DBus.Introspectable"))
                                .arguments()
                                .value(0)
                                .toString();
        QVERIFY(!xml.contains(QStringLiteral("org.qtproject")));
        for (const char* member : {"PressKey", "CallStop", "ReverseDirection", "MenuPage", "Announced", "ActivateAction"})
            QVERIFY2(QRegularExpression(QStringLiteral("name=\"%1\"[^\n]*>\n *<annotation name=\"org.gtk.GDBus.DocString\"")
                                            .arg(QLatin1String(member)))
                         .match(xml)
                         .hasMatch(),
                     member);
        QVERIFY(xml.contains(QStringLiteral("toggle-display")));
    }

    // The door answers with the interface file in the tree, and does what the
    // file says: each method takes the arguments it names and answers with
    // the values it names.
    void theInterfaceFileIsTheContract_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<QVariantList>("arguments");
        const QString application = QStringLiteral("org.freedesktop.Application.");
        const QString unit = unitInterface + u'.';
        QTest::newRow("PressKey") << unit + "PressKey" << QVariantList{QStringLiteral("C")};
        QTest::newRow("SetLineDestination") << unit + "SetLineDestination" << QVariantList{"7", "Zoo"};
        QTest::newRow("LoadStops") << unit + "LoadStops" << QVariantList{route};
        QTest::newRow("CallStop") << unit + "CallStop" << QVariantList{1u};
        QTest::newRow("ReverseDirection") << unit + "ReverseDirection" << QVariantList{};
        QTest::newRow("ServeWeb") << unit + "ServeWeb" << QVariantList{QString(), QVariant::fromValue(ushort(0))};
        QTest::newRow("Activate") << application + "Activate" << QVariantList{QVariantMap()};
        QTest::newRow("Open") << application + "Open"
                              << QVariantList{QStringList{QUrl::fromLocalFile(route).toString()}, QVariantMap()};
        QTest::newRow("ActivateAction") << application + "ActivateAction"
                                        << QVariantList{QStringLiteral("toggle-display"), QVariantList(), QVariantMap()};
    }

    void theInterfaceFileIsTheContract()
    {
        QFETCH(QString, member);
        QFETCH(QVariantList, arguments);
        fresh(true, [](const QString&, uint) { return bus::WebAnswer{true, QStringLiteral("http://127.0.0.1:8733/")}; });
        const QString file = interfaceFile();
        QVERIFY(!file.isEmpty());
        QCOMPARE(call(QStringLiteral("Introspect"), {}, QStringLiteral("org.freedesktop.DBus.Introspectable"))
                     .arguments()
                     .value(0)
                     .toString(),
                 file);
        const Contract contract = contractOf(file);
        QVERIFY2(contract.error.isEmpty(), qPrintable(contract.error));
        QVERIFY2(contract.methods.contains(member), qPrintable(member));
        const auto [in, out] = contract.methods.value(member);
        const qsizetype dot = member.lastIndexOf(u'.');
        const QString interface = member.left(dot), method = member.mid(dot + 1);

        // Arguments the file does not name are refused, naming those it does.
        const QDBusMessage refused = call(method, {1.5}, interface);
        QCOMPARE(refused.errorName(), invalidArgs);
        QVERIFY2(refused.errorMessage().contains(QStringLiteral("(%1)").arg(in)), qPrintable(refused.errorMessage()));
        // Those it names are taken, and the answer carries what it says.
        const QDBusMessage answer = call(method, arguments, interface);
        QCOMPARE(answer.type(), QDBusMessage::ReplyMessage);
        QCOMPARE(answer.signature(), out);
    }

    // Every property the door has is in the file, with the type it has.
    void thePropertiesAreTheFilesProperties()
    {
        fresh();
        const Contract contract = contractOf(interfaceFile());
        QVERIFY2(contract.error.isEmpty(), qPrintable(contract.error));
        const QVariantMap all = qdbus_cast<QVariantMap>(
            call(QStringLiteral("GetAll"), {unitInterface}, QStringLiteral("org.freedesktop.DBus.Properties"))
                .arguments()
                .value(0));
        QStringList declared;
        for (auto it = contract.properties.cbegin(); it != contract.properties.cend(); ++it)
            if (it.key().startsWith(unitInterface + u'.'))
                declared << it.key().mid(unitInterface.size() + 1);
        QStringList published = all.keys();
        declared.sort();
        published.sort();
        QCOMPARE(published, declared);
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            const QString type = it.value().metaType() == QMetaType::fromType<QDBusArgument>()
                                     ? it.value().value<QDBusArgument>().currentSignature()
                                     : QString::fromLatin1(QDBusMetaType::typeToSignature(it.value().metaType()));
            QCOMPARE(type + u' ' + it.key(), contract.properties.value(unitInterface + u'.' + it.key()) + u' ' + it.key());
        }
    }

    // The command line's client against this door: it does all it is given,
    // in order, or nothing, and says why in one line.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("err"); // a pattern for the whole of it
        QTest::addColumn<QString>("stop"); // CurrentStop afterwards, "0 Hauptbahnhof" untouched
        const QString refused = QStringLiteral("pendralumovista: %1 \\(pendralumovista --help zeigt die Optionen\\)\n");
        const QString other = writeFile(QStringLiteral("andere.txt"), "Nord\r\nS\xfc" "d\r\n");
        QTest::newRow("keys") << QStringList{"--press", "C", "2", "M"} << 0 << "" << "2 Am Markt";
        QTest::newRow("any case, ASCII") << QStringList{"--press", "MENUE", "menu", "DOWN"} << 0 << "" << "1 " + QString::fromUtf8("Müllerstraße");
        QTest::newRow("a file, then keys") << QStringList{"--load", other, "--press", "down"} << 0 << "" << QString::fromUtf8("1 Süd");
        QTest::newRow("-- before the keys") << QStringList{"--press", "--", "down"} << 0 << "" << QString::fromUtf8("1 Müllerstraße");
        QTest::newRow("an unknown key among them")
            << QStringList{"--press", "down", "Bogus", "up"} << 2
            << refused.arg(QString::fromUtf8("unbekannte Taste „Bogus“; die Tasten heißen: 0 1 .* soft3")) << "0 Hauptbahnhof";
        QTest::newRow("a word after the file") << QStringList{"--load", other, "junk"} << 2
                                               << refused.arg(QString::fromUtf8("unerwartetes Argument „junk“"))
                                               << "0 Hauptbahnhof";
        QTest::newRow("a second file") << QStringList{"--load", other, "--load", other} << 2
                                       << refused.arg(QString::fromUtf8("„--load“ lädt eine Datei, nicht zwei"))
                                       << "0 Hauptbahnhof";
        QTest::newRow("help with keys") << QStringList{"--help", "--press", "down"} << 2
                                        << refused.arg(QString::fromUtf8("„--help“ passt nicht zu „--press“ und „--load“"))
                                        << "0 Hauptbahnhof";
        QTest::newRow("Qt's option with keys") << QStringList{"-display", ":1", "--press", "down"} << 2
                                               << refused.arg(QString::fromUtf8("„-display“ gilt für einen Start, nicht für „--press“ und „--load“"))
                                               << "0 Hauptbahnhof";
        QTest::newRow("no keys") << QStringList{"--press", "--"} << 2
                                 << refused.arg(QString::fromUtf8("„--press“ braucht einen Wert, TASTEN")) << "0 Hauptbahnhof";
        QTest::newRow("a refused file") << QStringList{"--load", scratch.filePath("fehlt.txt"), "--press", "down"} << 1
                                        << QString::fromUtf8("pendralumovista: Die Datei „fehlt.txt“ gibt es nicht.\n")
                                        << "0 Hauptbahnhof";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, err);
        QFETCH(QString, stop);
        fresh();
        const Run run = runProgram(arguments);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(err)).match(run.err).hasMatch(), qPrintable(run.err));
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(state().value(QStringLiteral("CurrentStop")).toString(), stop);
    }

    void commandLineWithoutASimulator()
    {
        const QString noneRuns = QString::fromUtf8("pendralumovista: auf diesem Desktop läuft kein Simulator; zuerst "
                                                   "pendralumovista starten.\n");
        for (const QString& address : {QStringLiteral("disabled:"), QString()}) {
            // A bus of its own, on which no simulator runs.
            const QString runSession = QStandardPaths::findExecutable(QStringLiteral("dbus-run-session"));
            QProcess program;
            if (address.isEmpty()) {
                if (runSession.isEmpty())
                    continue;
                program.start(runSession, {"--", PENDRALUMOVISTA_BINARY, "--press", "down"});
            } else {
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
                program.setProcessEnvironment(env);
                program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {"--press", "down"});
            }
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitCode(), 1);
            QVERIFY2(QString::fromUtf8(program.readAllStandardError()).endsWith(noneRuns), qPrintable(address));
        }
        const Run help = runProgram({"--help"});
        QCOMPARE(help.exitCode, 0);
        QVERIFY(help.out.contains(QStringLiteral("--press TASTEN")) && help.out.contains(QStringLiteral("--load DATEI")));
    }

    // A second start asks this one to show itself, and ends.
    void aSecondStartRaisesTheFirst()
    {
        fresh();
        windows->controlUnit().hide();
        const Run second = runProgram({});
        QCOMPARE(second.exitCode, 0);
        QCOMPARE(second.out, QString::fromUtf8("pendralumovista läuft schon; seine Fenster sind nach vorn geholt.\n"));
        QVERIFY(windows->controlUnit().isVisible());
    }

    // A simulator that does not answer (here: this process, busy waiting):
    // the client and a second start give up after a few seconds, in one
    // line that says how long they waited. The wait is made short here
    // through the variable the program reads for this test alone.
    void aHungSimulatorIsReportedInOneLine()
    {
        fresh();
        for (const QStringList& arguments : {QStringList{"--press", "down"}, QStringList()}) {
            QProcess program;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("PENDRALUMOVISTA_BUS_ANSWER_MS"), QStringLiteral("500"));
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), arguments);
            // No event loop meanwhile: the door cannot answer.
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitCode(), 1);
            const QString err = QString::fromUtf8(program.readAllStandardError());
            QVERIFY2(err.count(QStringLiteral("pendralumovista")) == 1 && err.contains(QStringLiteral("nicht (0,5 Sekunden gewartet)")),
                     qPrintable(err));
        }
        // Once it runs again it takes the calls that waited.
        QTRY_COMPARE(state().value(QStringLiteral("CurrentStop")).toString(), QString::fromUtf8("1 Müllerstraße"));
    }

    // Last: "Schließen" over the bus closes the sign, which ends the
    // program, as its click does. Once it has, no event loop runs here any
    // more, so what follows reads the windows directly.
    void closeKeyOverTheBusEqualsTheMouse()
    {
        fresh(false);
        QVERIFY(!windows->sign().isHidden());
        QDBusMessage message = QDBusMessage::createMethodCall(service, path, unitInterface, QStringLiteral("PressKey"));
        message << QStringLiteral("schliessen");
        client.asyncCall(message);
        QTRY_VERIFY(windows->sign().isHidden());
        fresh(false);
        QVERIFY(!windows->sign().isHidden());
        clickControl(unit().Label4);
        QVERIFY(windows->sign().isHidden());
    }
};

QTEST_MAIN(TestBusDoor)
#include "tst_busdoor.moc"
