// IBIS: the bytes each telegram puts on the line, the decoder's verdict on
// what arrives, and both ends over a virtual serial pair (socat's two pseudo
// terminals): the sender's bytes as the far end reads them, the sign showing
// what the far end writes, the faults of a missing or pulled device, and the
// real program sending on its line while it is driven from the session bus.

#include <Pendralumovista1.h>
#include <commandline.h>
#include <line.h>
#include <sessionbus.h>
#include <telegram.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <optional>

Q_DECLARE_METATYPE(ibis::Settings)

namespace {

// The bytes of a telegram, sealed here by the rule (0x7F XOR every byte, the
// carriage return included), for the streams the decoder reads.
QByteArray sealed(QByteArray body)
{
    body += '\r';
    char check = 0x7F;
    for (const char c : body)
        check = char(check ^ c);
    return body + check;
}

QByteArray bytesOf(const ibis::Telegram& telegram)
{
    return QByteArray::fromStdString(telegram.bytes);
}

QString shown(const TForm1& sign)
{
    return tk::toQString(sign.shownText());
}

// The two ends of a virtual null-modem cable.
class VirtualPair {
public:
    ~VirtualPair() { close(); }

    bool start()
    {
        socat_.start(QStringLiteral("socat"), {"-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"});
        if (!socat_.waitForStarted())
            return false;
        // socat names each pty on its error output as it opens it.
        QByteArray said;
        const QRegularExpression name(QStringLiteral("(/dev/pts/\\d+)"));
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            socat_.waitForReadyRead(200);
            said += socat_.readAllStandardError();
            QStringList names;
            for (auto match = name.globalMatch(QString::fromLocal8Bit(said)); match.hasNext();)
                names << match.next().captured(1);
            if (names.size() >= 2 && said.contains("starting data transfer loop")) {
                a = names[0];
                b = names[1];
                return true;
            }
        }
        return false;
    }

    // Pulls the cable: both pseudo terminals go away with socat.
    void close()
    {
        if (socat_.state() != QProcess::NotRunning) {
            socat_.kill();
            socat_.waitForFinished();
        }
    }

    QString a, b;

private:
    QProcess socat_;
};

// The far end of the pair, read and written as raw bytes.
class FarEnd {
public:
    explicit FarEnd(const QString& device) : port_(device)
    {
        QObject::connect(&port_, &QSerialPort::readyRead, [this] { received += port_.readAll(); });
    }
    bool open() { return port_.open(QIODevice::ReadWrite); }
    void write(const QByteArray& bytes)
    {
        port_.write(bytes);
        port_.waitForBytesWritten(5000);
    }

    QByteArray received;

private:
    QSerialPort port_;
};

struct Reports {
    QStringList lines;
    ibis::Report report()
    {
        return [this](const QString& line) { lines << line; };
    }
};

// Each fault is one German line naming the device, saying the simulator
// runs on.
bool oneGermanLine(const QStringList& lines, const QString& device, const QString& why)
{
    return lines.size() == 1 && !lines[0].contains(u'\n') && lines[0].startsWith(QStringLiteral("IBIS an „%1“: ").arg(device))
        && lines[0].contains(why) && lines[0].endsWith(QString::fromUtf8("der Simulator läuft ohne diese Leitung weiter."));
}

using Counts = QList<quint64>; // accepted, wrong check byte, unknown, overlong

Counts countsOf(const ibis::Decoder::Counts& counts)
{
    return {counts.accepted, counts.wrongCheckByte, counts.unknown, counts.overlong};
}

QStringList messagesOf(const std::vector<ibis::Message>& messages)
{
    QStringList list;
    for (const ibis::Message& message : messages)
        list << QString(QChar(message.kind == ibis::Kind::Line ? u'L' : message.kind == ibis::Kind::Destination ? u'D' : u'S'))
                    + u':' + tk::toQString(message.text);
    return list;
}

} // namespace

class TestIbis : public QObject {
    Q_OBJECT

private slots:
    void encoder_data()
    {
        QTest::addColumn<char>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("stop call") << 'S' << "Hauptbahnhof" << QByteArray("vHAUPTBAHNHOF        \r\x18");
        QTest::newRow("long name cut to the sign's 20") << 'S' << QString::fromUtf8("Universitätsklinikum Nord")
                                                        << QByteArray("vUNIVERSIT[TSKLINIKUM\r\x1f");
        QTest::newRow("ü and ß") << 'S' << QString::fromUtf8("Müllerstraße") << QByteArray("vM]LLERSTRA~E        \r\x2c");
        QTest::newRow("capital umlauts") << 'S' << QString::fromUtf8("Äußere Öde Über")
                                         << QByteArray("v[U~ERE \\DE ]BER     \r\x53");
        QTest::newRow("euro becomes a blank") << 'S' << QString::fromUtf8("Preis 5 €")
                                              << QByteArray("vPREIS 5             \r\x6c");
        QTest::newRow("a typed substitute and a tab become blanks")
            << 'S' << QString::fromUtf8("a{b\tc") << QByteArray("vA B C               \r\x64");
        QTest::newRow("no stop name") << 'S' << "" << QByteArray("v                    \r\x04");
        QTest::newRow("destination, one block") << 'D' << QString::fromUtf8("Waldschänke")
                                                << QByteArray("zA1WALDSCH[NKE     \r\x05");
        QTest::newRow("destination, two blocks") << 'D' << QString::fromUtf8("Hauptfriedhof Süd")
                                                 << QByteArray("zA2HAUPTFRIEDHOF S]D               \r\x74");
        QTest::newRow("no destination") << 'D' << "" << QByteArray("zA0\r\x79");
        QTest::newRow("line of one digit") << 'L' << "7" << QByteArray("l007\r\x29");
        QTest::newRow("line of three digits") << 'L' << "123" << QByteArray("l123\r\x2e");
        QTest::newRow("line with a letter has no telegram") << 'L' << "N7" << QByteArray();
        QTest::newRow("line of four digits has no telegram") << 'L' << "1234" << QByteArray();
    }
    void encoder()
    {
        QFETCH(char, kind);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const tk::Text programText = tk::fromQString(text);
        std::optional<ibis::Telegram> telegram;
        if (kind == 'S')
            telegram = ibis::stopTelegram(programText);
        else if (kind == 'D')
            telegram = ibis::destinationTelegram(programText);
        else
            telegram = ibis::lineTelegram(programText);
        QCOMPARE(telegram ? bytesOf(*telegram) : QByteArray(), bytes);
    }

    // Which telegrams a change of the state sends.
    void changes_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("sent");
        QTest::newRow("nothing") << "" << "";
        QTest::newRow("the line") << "line" << "l";
        QTest::newRow("the destination") << "destination" << "z:DEPOT";
        QTest::newRow("line and destination") << "line destination" << "lz:DEPOT";
        QTest::newRow("an automatic turn at the end") << "turn" << "z:EINS";
        QTest::newRow("the stop") << "stop" << "v";
        QTest::newRow("a route loaded") << "load" << "v";
        QTest::newRow("a page of the sign") << "page" << "";
        QTest::newRow("all at start") << "start" << "lz:ZOOv";
    }
    void changes()
    {
        QFETCH(QString, change);
        QFETCH(QString, sent);
        state::Snapshot before;
        before.line = "7";
        before.destination = "Zoo";
        before.lineDestinationText = "  7 Zoo";
        before.routeLoaded = true;
        before.stops = {"Eins", "Zwei"};
        before.currentStopName = "Eins";
        state::Snapshot now = before;
        if (change.contains(QStringLiteral("line")))
            now.line = "8";
        if (change.contains(QStringLiteral("destination")))
            now.destination = "Depot";
        now.lineDestinationText = "  " + now.line + " " + now.destination;
        if (change.contains(QStringLiteral("turn")))
            now.lineDestinationText = "  7 Eins";
        if (change.contains(QStringLiteral("stop"))) {
            now.currentStop = 1;
            now.currentStopName = "Zwei";
        }
        if (change.contains(QStringLiteral("load")))
            before.routeLoaded = false;
        if (change.contains(QStringLiteral("page")))
            now.signPageShown = 1;
        QString kinds;
        for (const ibis::Telegram& telegram : ibis::telegramsFor(now, change == QStringLiteral("start") ? nullptr : &before)) {
            kinds += QChar(telegram.bytes.front());
            if (telegram.kind == ibis::Kind::Destination)
                kinds += u':' + QString::fromLatin1(telegram.bytes.substr(3, telegram.bytes.size() - 5)).trimmed();
        }
        QCOMPARE(kinds, sent);
    }

    void decoder_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<Counts>("counts");
        const QByteArray stop = sealed("vMARKTPLATZ          ");
        QTest::newRow("a stop") << stop << QStringList{"S:MARKTPLATZ"} << Counts{1, 0, 0, 0};
        QTest::newRow("line and destination")
            << sealed("l007") + sealed("zA1WALDSCH{NKE     ")
            << QStringList{"L:7", QString::fromUtf8("D:WALDSCHäNKE")} << Counts{2, 0, 0, 0};
        QByteArray wrong = stop;
        wrong.back() = char(wrong.back() ^ 1);
        QTest::newRow("wrong check byte") << wrong << QStringList{} << Counts{0, 1, 0, 0};
        QTest::newRow("truncated, then whole") << "vMARKT" + stop + stop << QStringList{"S:MARKTPLATZ"}
                                               << Counts{1, 1, 0, 0};
        QTest::newRow("unknown type") << sealed("xHALLO") + stop << QStringList{"S:MARKTPLATZ"} << Counts{1, 0, 1, 0};
        QTest::newRow("stop of the wrong length") << sealed("vKURZ") << QStringList{} << Counts{0, 0, 1, 0};
        QTest::newRow("block count and text differ") << sealed("zA2WALDSCH{NKE     ") << QStringList{}
                                                     << Counts{0, 0, 1, 0};
        QTest::newRow("an 8-bit byte in the text") << sealed("vMARKT\xC4PLATZ         ") << QStringList{}
                                                   << Counts{0, 0, 1, 0};
        QTest::newRow("a run too long, then a carriage return")
            << QByteArray(1000, 'A') + "\rx" + stop << QStringList{"S:MARKTPLATZ"} << Counts{1, 0, 0, 1};
        QTest::newRow("a longest destination") << sealed("zA?" + QByteArray(240, 'B'))
                                               << QStringList{"D:" + QString(240, u'B')} << Counts{1, 0, 0, 0};
    }
    void decoder()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, messages);
        QFETCH(Counts, counts);
        // Whole, and byte by byte as a slow line delivers it.
        ibis::Decoder whole;
        QCOMPARE(messagesOf(whole.feed(stream.toStdString())), messages);
        QCOMPARE(countsOf(whole.counts()), counts);
        ibis::Decoder piecewise;
        QStringList got;
        for (const char c : stream)
            got += messagesOf(piecewise.feed(std::string_view(&c, 1)));
        QCOMPARE(got, messages);
        QCOMPARE(countsOf(piecewise.counts()), counts);
    }

    void lineSettings_data()
    {
        QTest::addColumn<ibis::Settings>("settings");
        QTest::newRow("the defaults, 1200 7E2") << ibis::Settings{};
        QTest::newRow("9600 8N1") << ibis::Settings{9600, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop};
    }
    // A pseudo terminal carries bytes without framing; the settings are read
    // back from the port object that applied them.
    void lineSettings()
    {
        QFETCH(ibis::Settings, settings);
        VirtualPair pair;
        QVERIFY(pair.start());
        Reports reports;
        ibis::Line line(pair.a, settings, reports.report());
        QVERIFY(line.open());
        QSerialPort* port = line.serialPort();
        QVERIFY(port);
        QCOMPARE(port->baudRate(), settings.baudRate);
        QCOMPARE(port->dataBits(), settings.dataBits);
        QCOMPARE(port->parity(), settings.parity);
        QCOMPARE(port->stopBits(), settings.stopBits);
        QCOMPARE(port->flowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(reports.lines, QStringList());
    }

    // The bytes arrive at the far end in order; a stop called while the one
    // before is still on the wire is replaced by the next, never queued up.
    void sender()
    {
        VirtualPair pair;
        QVERIFY(pair.start());
        Reports reports;
        ibis::Sender sender(pair.a, {}, reports.report());
        QVERIFY(sender.open());
        FarEnd far(pair.b);
        QVERIFY(far.open());
        const auto first = ibis::stopTelegram("Hauptbahnhof");
        const auto passed = ibis::stopTelegram(tk::fromUtf8("Königstraße"));
        const auto last = ibis::stopTelegram("Marktplatz");
        const auto destination = ibis::destinationTelegram(tk::fromUtf8("Waldschänke"));
        sender.send({first});
        sender.send({passed});
        for (int stop = 0; stop < 100; ++stop)
            sender.send({ibis::stopTelegram(std::to_string(stop))});
        sender.send({last, destination});
        QCOMPARE(sender.waiting(), 2);
        QTRY_COMPARE(far.received, bytesOf(first) + bytesOf(last) + bytesOf(destination));
        QCOMPARE(sender.waiting(), 0);
        QCOMPARE(reports.lines, QStringList());
    }

    // What the far end writes, the sign shows; what is not a whole telegram
    // it ignores and counts, and its text stays.
    void sign()
    {
        VirtualPair pair;
        QVERIFY(pair.start());
        TForm1 sign;
        Reports reports;
        ibis::SignInput input(sign, pair.a, {}, reports.report());
        QVERIFY(input.open());
        FarEnd far(pair.b);
        QVERIFY(far.open());

        far.write(sealed("vMARKTPLATZ          "));
        QTRY_COMPARE(shown(sign), QStringLiteral("MARKTPLATZ"));
        far.write(sealed("l007") + sealed("zA1WALDSCH{NKE     "));
        QTRY_COMPARE(shown(sign), QString::fromUtf8("  7 WALDSCHäNKE"));
        // A long name pages as a stop call pages it.
        far.write(sealed("zA2HAUPTFRIEDHOF S}D OST           "));
        QTRY_COMPARE(tk::toQString(sign.pages().at(0)), QStringLiteral("  7 HAUPTFRIEDHOF"));
        QCOMPARE(tk::toQString(sign.pages().at(1)), QString::fromUtf8("SüD OST"));
        far.write(sealed("v[U~ERE \\DE ]BER     "));
        QTRY_COMPARE(shown(sign), QString::fromUtf8("ÄUßERE ÖDE ÜBER"));

        QByteArray wrong = sealed("vRATHAUS             ");
        wrong.back() = char(wrong.back() ^ 0x20);
        far.write(wrong);
        QTRY_COMPARE(input.counts().wrongCheckByte, quint64(1));
        far.write("vRATH");
        far.write(sealed("vRATHAUS             "));
        QTRY_COMPARE(input.counts().wrongCheckByte, quint64(2));
        QCOMPARE(shown(sign), QString::fromUtf8("ÄUßERE ÖDE ÜBER"));

        // A megabyte of noise: counted, never shown, and the next whole
        // telegram after a carriage return is shown.
        QRandomGenerator random(1729);
        const quint64 acceptedBefore = input.counts().accepted;
        QByteArray noise(1 << 20, 0);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        far.write(noise);
        far.write("\rx" + sealed("vENDSTELLE           "));
        QTRY_COMPARE_WITH_TIMEOUT(shown(sign), QStringLiteral("ENDSTELLE"), 30000);
        QCOMPARE(input.counts().accepted, acceptedBefore + 1);
        const ibis::Decoder::Counts& counts = input.counts();
        QVERIFY(counts.wrongCheckByte + counts.unknown + counts.overlong > 1000);
        QCOMPARE(reports.lines, QStringList());
    }

    // The cable pulled under a sender and a sign: one line each, and both
    // stay shut while the rest goes on.
    void unplugged()
    {
        VirtualPair pair;
        QVERIFY(pair.start());
        TForm1 sign;
        Reports sent, read;
        ibis::Sender sender(pair.a, {}, sent.report());
        ibis::SignInput input(sign, pair.b, {}, read.report());
        QVERIFY(sender.open());
        QVERIFY(input.open());
        sender.send({ibis::stopTelegram("Rathaus")});
        QTRY_COMPARE(shown(sign), QStringLiteral("RATHAUS"));

        pair.close();
        QTRY_VERIFY(!sender.line().isConnected() && !input.line().isConnected());
        QTRY_VERIFY2(oneGermanLine(sent.lines, pair.a, QStringLiteral("nicht mehr erreichbar")), qPrintable(sent.lines.join(u'|')));
        QTRY_VERIFY2(oneGermanLine(read.lines, pair.b, QStringLiteral("nicht mehr erreichbar")), qPrintable(read.lines.join(u'|')));
        sender.send({ibis::stopTelegram("Zoo")});
        QCOMPARE(sender.waiting(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(sent.lines.size(), 1);
        QCOMPARE(read.lines.size(), 1);
        QCOMPARE(shown(sign), QStringLiteral("RATHAUS"));
    }

    void faults_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("why");
        QTest::newRow("missing") << "/dev/pendralumovista-keine" << false << "gibt es nicht";
        QTest::newRow("not a serial line") << "/dev/null" << false << "ist keine serielle Schnittstelle";
        QTest::newRow("no address") << "tcp:nur-ein-name" << false << "keine Adresse der Form tcp:RECHNER:PORT";
        // A port that was free a moment ago: nobody listens there.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const quint16 port = server.serverPort();
        server.close();
        QTest::newRow("nobody listening") << QStringLiteral("tcp:127.0.0.1:%1").arg(port) << true
                                          << "nimmt keine Verbindung an";
    }
    void faults()
    {
        QFETCH(QString, device);
        QFETCH(bool, opens);
        QFETCH(QString, why);
        Reports reports;
        ibis::Line line(device, {}, reports.report());
        QCOMPARE(line.open(), opens);
        QTRY_VERIFY2(oneGermanLine(reports.lines, device, why), qPrintable(reports.lines.join(u'|')));
        QVERIFY(!line.isConnected());
    }

    // An IBIS adapter on the network: the state goes out once connected,
    // and the adapter hanging up is said in one line.
    void tcp()
    {
        QTcpServer adapter;
        QVERIFY(adapter.listen(QHostAddress::LocalHost));
        const QString device = QStringLiteral("tcp:127.0.0.1:%1").arg(adapter.serverPort());
        Reports reports;
        ibis::Sender sender(device, {}, reports.report());
        QVERIFY(sender.open());
        QVERIFY(!sender.line().serialPort());
        sender.send({ibis::stopTelegram("Rathaus")}); // not connected yet: dropped
        QTRY_VERIFY(adapter.hasPendingConnections());
        QTcpSocket* connection = adapter.nextPendingConnection();
        QTRY_VERIFY(sender.line().isConnected());
        QByteArray received;
        connect(connection, &QTcpSocket::readyRead, this, [&] { received += connection->readAll(); });
        sender.send({ibis::stopTelegram("Marktplatz")});
        QTRY_COMPARE(received, bytesOf(ibis::stopTelegram("Marktplatz")));
        connection->close();
        QTRY_VERIFY2(oneGermanLine(reports.lines, device, QStringLiteral("hat die Verbindung beendet")),
                     qPrintable(reports.lines.join(u'|')));
        QVERIFY(!sender.line().isConnected());
    }

    // A device another program holds is refused, with its line.
    void busy()
    {
        VirtualPair pair;
        QVERIFY(pair.start());
        Reports first, second;
        ibis::Line holder(pair.a, {}, first.report());
        QVERIFY(holder.open());
        ibis::Line late(pair.a, {}, second.report());
        QVERIFY(!late.open());
        QVERIFY2(oneGermanLine(second.lines, pair.a, QStringLiteral("belegt")), qPrintable(second.lines.join(u'|')));
        QVERIFY(holder.isConnected());
    }

    // The options, as the program reads them: the line's settings, or a
    // refusal (status 2) before anything opens.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("settings");
        QTest::newRow("the defaults") << QStringList{"--ibis", "/dev/ttyUSB0"} << -1 << "/dev/ttyUSB0 - 1200 7E2";
        QTest::newRow("every setting") << QStringList{"--ibis", "tcp:bus:4001", "--ibis-baud", "9600", "--ibis-databits", "8",
                                                      "--ibis-parity", "keine", "--ibis-stopbits", "1"}
                                       << -1 << "tcp:bus:4001 - 9600 8N1";
        QTest::newRow("the sign side, odd parity")
            << QStringList{"--ibis-sign", "/dev/pts/4", "--ibis-parity", "ungerade"} << -1 << "- /dev/pts/4 1200 7O2";
        QTest::newRow("a setting without a line") << QStringList{"--ibis-baud", "9600"} << 2 << "";
        QTest::newRow("baud 0") << QStringList{"--ibis", "x", "--ibis-baud", "0"} << 2 << "";
        QTest::newRow("6 data bits") << QStringList{"--ibis", "x", "--ibis-databits", "6"} << 2 << "";
        QTest::newRow("no device") << QStringList{"--ibis"} << 2 << "";
        QTest::newRow("with the bus client") << QStringList{"--ibis", "x", "--press", "down"} << 2 << "";
    }
    void commandLine()
    {
        QFETCH(QStringList, words);
        QFETCH(int, status);
        QFETCH(QString, settings);
        std::vector<QByteArray> bytes{"pendralumovista"};
        for (const QString& word : words)
            bytes.push_back(word.toUtf8());
        std::vector<char*> argv;
        for (QByteArray& word : bytes)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::FILE* sink = std::fopen("/dev/null", "w");
        const CommandLine line = parseCommandLine(int(argv.size()) - 1, argv.data(), sink, sink);
        std::fclose(sink);
        QCOMPARE(line.exitCode.value_or(-1), status);
        if (status == -1)
            QCOMPARE(QStringLiteral("%1 %2 %3 %4%5%6")
                         .arg(QString::fromLocal8Bit(line.ibisDevice ? line.ibisDevice : "-"),
                              QString::fromLocal8Bit(line.ibisSignDevice ? line.ibisSignDevice : "-"))
                         .arg(line.ibisBaud)
                         .arg(line.ibisDataBits)
                         .arg(QLatin1Char(line.ibisParity))
                         .arg(line.ibisStopBits),
                     settings);
    }

    // The program as a user starts it: driven over the session bus, it sends
    // each stop on its line, says so on the bus, and runs on when the line
    // goes away.
    void program()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus of the test's own (run through ctest)");
        VirtualPair pair;
        QVERIFY(pair.start());
        FarEnd far(pair.b);
        QVERIFY(far.open());
        QProcess simulator;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        simulator.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {"--ibis", pair.a, "--ibis-baud", "9600"});
        QVERIFY(simulator.waitForStarted());
        auto call = [](const QString& method, const QVariantList& arguments) {
            QDBusMessage message = QDBusMessage::createMethodCall(
                QString::fromLatin1(bus::ApplicationId), QString::fromLatin1(bus::ObjectPath),
                QString::fromLatin1(bus::ControlUnitInterface), method);
            message.setArguments(arguments);
            return QDBusConnection::sessionBus().call(message);
        };
        auto property = [](const QString& name) {
            const QDBusMessage answer = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                QString::fromLatin1(bus::ApplicationId), QString::fromLatin1(bus::ObjectPath),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"))
                << QString::fromLatin1(bus::ControlUnitInterface) << name);
            return answer.arguments().isEmpty() ? QVariant() : answer.arguments().at(0).value<QDBusVariant>().variant();
        };
        QTRY_COMPARE_WITH_TIMEOUT(property(QStringLiteral("IbisConnected")), QVariant(true), 20000);

        QByteArray expected;
        call(QStringLiteral("SetLineDestination"), {QStringLiteral("7"), QString::fromUtf8("Waldschänke")});
        expected += bytesOf(*ibis::lineTelegram("7")) + bytesOf(ibis::destinationTelegram(tk::fromUtf8("Waldschänke")));
        QTRY_COMPARE(far.received, expected);
        call(QStringLiteral("LoadStops"), {QStringLiteral(PENDRALUMOVISTA_EXAMPLES "/linie-7-tram.txt")});
        expected += bytesOf(ibis::stopTelegram("Hauptbahnhof"));
        QTRY_COMPARE(far.received, expected);
        call(QStringLiteral("PressKey"), {QStringLiteral("down")});
        expected += bytesOf(ibis::stopTelegram(tk::fromUtf8("Königstraße")));
        QTRY_COMPARE(far.received, expected);

        pair.close();
        QTRY_COMPARE(property(QStringLiteral("IbisConnected")), QVariant(false));
        // The rest runs on.
        QCOMPARE(call(QStringLiteral("PressKey"), {QStringLiteral("down")}).type(), QDBusMessage::ReplyMessage);
        QTRY_COMPARE(property(QStringLiteral("SignText")).toString(), QStringLiteral("Marktplatz"));
        QCOMPARE(simulator.state(), QProcess::Running);
        simulator.terminate();
        QVERIFY(simulator.waitForFinished());
        const QStringList said = QString::fromUtf8(simulator.readAllStandardError()).split(u'\n').filter(QStringLiteral("IBIS"));
        QCOMPARE(said, QStringList{QString::fromUtf8("pendralumovista: IBIS an „%1“: ist nicht mehr erreichbar "
                                                     "(abgezogen?); der Simulator läuft ohne diese Leitung weiter.")
                                       .arg(pair.a)});
    }
};

QTEST_MAIN(TestIbis)
#include "tst_ibis.moc"
