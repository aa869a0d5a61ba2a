// The web sign as a browser and a script meet it: the page and the state
// served over HTTP, the messages over a WebSocket as the sign changes, and
// what a careless or hostile client sends, with the sign unharmed.

#include "servedsign.h"

#include <commandline.h>

#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

#include <memory>

namespace {

// An HTTP exchange over a plain socket, so that every header is the test's.
// `body` bytes more follow the request, sent as fast as the server takes
// them, never more than a few hundred KiB held here.
QByteArray exchange(quint16 port, const QByteArray& request, int timeoutMs = 3000, qint64 body = 0)
{
    // The server answers on this thread: the event loop runs while waiting.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QByteArray answer;
    bool written = false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!written && socket.state() == QAbstractSocket::ConnectedState) {
            socket.write(request);
            written = true;
        }
        while (written && body > 0 && socket.state() == QAbstractSocket::ConnectedState
               && socket.bytesToWrite() < 256 * 1024) {
            const qint64 step = std::min<qint64>(body, 64 * 1024);
            socket.write(QByteArray(step, 'x'));
            body -= step;
        }
        answer += socket.readAll();
        if (written && socket.state() == QAbstractSocket::UnconnectedState)
            break;
        // An answer to the upgrade is followed by frames; enough once seen.
        if (answer.contains("\r\n\r\n") && answer.startsWith("HTTP/1.1 101") && clock.elapsed() > 300)
            break;
    }
    return answer + socket.readAll();
}

QByteArray get(quint16 port, const QByteArray& path, const QByteArray& host = {})
{
    return exchange(port, "GET " + path + " HTTP/1.1\r\nHost: "
                              + (host.isEmpty() ? "127.0.0.1:" + QByteArray::number(port) : host)
                              + "\r\nConnection: close\r\n\r\n");
}

QByteArray body(const QByteArray& response)
{
    return response.mid(response.indexOf("\r\n\r\n") + 4);
}

// A script's WebSocket client that keeps every message it receives.
struct Client {
    QWebSocket socket;
    QList<QJsonObject> messages;
    explicit Client(quint16 port, const QString& host = QStringLiteral("127.0.0.1"))
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            messages << QJsonDocument::fromJson(text.toUtf8()).object();
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1:%2/ws").arg(host).arg(port)));
        socket.open(request);
    }
    QJsonObject last() const { return messages.isEmpty() ? QJsonObject() : messages.constLast(); }
    QString pageShown() const
    {
        const QJsonObject state = last();
        const int shown = state.value(QStringLiteral("signPageShown")).toInt(-1);
        return shown < 0 ? QString() : state.value(QStringLiteral("signPages")).toArray().at(shown).toString();
    }
};

// A WebSocket upgrade asked for over a plain socket, which then does
// nothing it is not told to: no reading, no answer to a ping.
bool upgradeByHand(QTcpSocket& socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return false;
    socket.write("GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                 + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                   "Sec-WebSocket-Version: 13\r\n\r\n");
    return true;
}

// Under AddressSanitizer freed memory stays resident a while (its
// quarantine holds a quarter gigabyte), so there the heap in use is counted.
#if defined(__SANITIZE_ADDRESS__)
#define PENDRALUMOVISTA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PENDRALUMOVISTA_ASAN 1
#endif
#endif

#ifdef PENDRALUMOVISTA_ASAN
// The sanitizer runtime's, declared here as its header is not always installed.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

long residentKiB()
{
#ifdef PENDRALUMOVISTA_ASAN
    return long(__sanitizer_get_current_allocated_bytes() / 1024);
#else
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+)")).match(QString::fromLatin1(status.readAll()));
    return match.captured(1).toLong();
#endif
}

} // namespace

class TestWebSign : public ServedSign {
    Q_OBJECT

private slots:
    void init()
    {
        // Standard error is the user's: whatever a client sends, no library
        // of the server's may warn there.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        setUp();
    }
    void cleanup() { tearDown(); }

    // The page loads nothing from elsewhere;
    // the state reads as the door's properties; another Host is refused.
    void pageAndStateAreServedToTheirOwnAddressOnly()
    {
        const QByteArray page = get(port, "/");
        QVERIFY(page.startsWith("HTTP/1.1 200"));
        // The glyphs are put in (the browser's test reads them as dots).
        QVERIFY(!page.contains("/*GLYPHS*/"));
        QVERIFY(!page.contains("http://") && !page.contains("https://"));
        // The WebSocket's address, asked without the upgrade, says so at once.
        QVERIFY(get(port, "/ws").startsWith("HTTP/1.1 426"));

        unit().setLineDestination("7", "Hauptbahnhof");
        const QJsonObject state = QJsonDocument::fromJson(body(get(port, "/state.json"))).object();
        QCOMPARE(state.value("version").toInt(), web::MessageVersion);
        QCOMPARE(state.value("signText").toString(), QStringLiteral("  7 Hauptbahnhof"));
        QCOMPARE(state.value("line").toString(), QStringLiteral("7"));
        QCOMPARE(state.value("destination").toString(), QStringLiteral("Hauptbahnhof"));
        QCOMPARE(state.value("displayOn").toBool(), true);

        // A stop file may hold a name of a megabyte: the web carries any
        // text to 1024 characters, and no further.
        QFile names(scratch.filePath(QStringLiteral("lang.txt")));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write(QByteArray(1024, 'a') + "\r\n" + QByteArray(1025, 'b') + "\r\n");
        names.close();
        QVERIFY(unit().loadStopFile(names.fileName()).empty());
        feed->changedNow();
        Client client(port);
        for (const char letter : {'a', 'b'}) {
            QTRY_COMPARE(client.last().value("currentStop").toObject().value("name").toString(),
                         QString(1024, QLatin1Char(letter)));
            press(&TForm2::Shape2MouseDown);
        }

        QVERIFY(get(port, "/", "localhost:" + QByteArray::number(port)).startsWith("HTTP/1.1 200"));
        for (const QByteArray& host : {QByteArray("evil.example:") + QByteArray::number(port),
                                       QByteArray("127.0.0.1:1"), QByteArray("127.0.0.2:") + QByteArray::number(port)}) {
            const QByteArray answer = get(port, "/state.json", host);
            QVERIFY2(answer.startsWith("HTTP/1.1 403"), host.constData());
            QVERIFY(!answer.contains("Hauptbahnhof"));
        }

        // On one connection: a request as a browser sends it is answered and
        // the connection stays for the next; one with "Connection: close",
        // as a script sends it that reads to the end, is answered and then
        // closed at once, long before the idle limit would close it.
        QTcpSocket connection;
        connection.connectToHost(QHostAddress::LocalHost, port);
        const QByteArray request = "GET /state.json HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
        QByteArray answer;
        auto answered = [&] { return QJsonDocument::fromJson(body(answer += connection.readAll())).isObject(); };
        QTRY_VERIFY(connection.state() == QAbstractSocket::ConnectedState);
        connection.write(request + "\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(answered(), 5000);
        QVERIFY(answer.startsWith("HTTP/1.1 200"));
        answer.clear();
        connection.write(request + "Connection: close\r\n\r\n");
        QTRY_VERIFY_WITH_TIMEOUT((answer += connection.readAll(), connection.state() == QAbstractSocket::UnconnectedState),
                                 web::HttpConnectionMs / 2);
        QVERIFY2(answer.startsWith("HTTP/1.1 200") && answered(), answer.constData());
    }

    // The Host check alone, with what a browser, a script or an attacker
    // may put in the header.
    void onlyTheServedAddressIsAHost()
    {
        const QHostAddress loopback(QHostAddress::LocalHost);
        for (const QByteArray& host : {QByteArray("127.0.0.1:8733"), QByteArray("localhost:8733"), QByteArray("127.0.0.1:08733")})
            QVERIFY2(web::hostServed(host, loopback, 8733), host.constData());
        QVERIFY(web::hostServed("[::1]:8733", QHostAddress(QHostAddress::LocalHostIPv6), 8733));
        QVERIFY(web::hostServed("192.168.1.5:80", QHostAddress(QStringLiteral("192.168.1.5")), 80));
        // localhost is this machine's loopback address, which is not served then.
        QVERIFY(!web::hostServed("localhost:80", QHostAddress(QStringLiteral("192.168.1.5")), 80));
        // On every address, the names a tablet or this machine's own
        // browser may type: localhost, the machine's name and NAME.local.
        const QByteArray machine = QHostInfo::localHostName().toLower().toLatin1();
        for (const QHostAddress& every : {QHostAddress(QHostAddress::Any), QHostAddress(QHostAddress::AnyIPv4)}) {
            QVERIFY(web::hostServed("localhost:8733", every, 8733));
            QVERIFY(web::hostServed(machine + ":8733", every, 8733));
            QVERIFY(web::hostServed(QHostInfo::localHostName().toUpper().toLatin1() + ".local:8733", every, 8733));
            QVERIFY(!web::hostServed(machine + ".evil.example:8733", every, 8733));
        }
        QVERIFY(!web::hostServed(machine + ":8733", loopback, 8733));
        for (const QByteArray& host :
             {QByteArray(), QByteArray("127.0.0.1"), QByteArray("127.0.0.1:8734"), QByteArray("127.0.0.1:8733/"),
              QByteArray("me@127.0.0.1:8733"), QByteArray("127.0.0.1:8733#x"), QByteArray("127.0.0.1:8733?x"),
              QByteArray("127.0.0.1 :8733"), QByteArray("127.0.0.1:8733\t"), QByteArray("127.0.0.1\n:8733"),
              QByteArray("127.0.0.1%2e:8733"), QByteArray("127.0.0.1.:8733"), QByteArray("LOCALHOST.:8733"),
              QByteArray("localhost.evil.example:8733"), QByteArray("127.0.0.1:8733", 15),
              QByteArray(400, '1') + ":8733",
              // A port past 65535 that QUrl's reading would wrap round to the
              // served one (the fuzz target found the first).
              QByteArray("127.1:") + QByteArray(57, '0') + '2' + QByteArray(59, '0') + "8733",
              QByteArray("127.0.0.1:4294975029")}) {
            QVERIFY2(!web::hostServed(host, loopback, 8733), host.toPercentEncoding().constData());
            QVERIFY2(!web::hostServed(host, QHostAddress(QHostAddress::Any), 8733), host.toPercentEncoding().constData());
        }
    }

    // A stop call, the paging of a long name, the dark sign while line and
    // destination are typed, each as one message.
    void messagesFollowTheSign()
    {
        QFile file(scratch.filePath(QStringLiteral("route.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Depot\r\nHauptbahnhof Ostseite\r\nM\xfchle\r\n");
        file.close();
        QVERIFY(unit().loadStopFile(file.fileName()).empty());
        feed->changedNow();

        Client client(port);
        QTRY_COMPARE(client.messages.size(), 1);
        QCOMPARE(client.last().value("type").toString(), QStringLiteral("state"));
        QCOMPARE(client.last().value("version").toInt(), web::MessageVersion);
        QCOMPARE(client.last().value("signPageShown").toInt(), -1);

        press(&TForm2::Shape2MouseDown);
        QTRY_COMPARE(client.messages.size(), 2);
        QCOMPARE(client.last().value("currentStop").toObject().value("number").toInt(), 1);
        QCOMPARE(client.last().value("signPages").toArray(),
                 QJsonArray({QStringLiteral("Hauptbahnhof"), QStringLiteral("Ostseite")}));
        QCOMPARE(client.pageShown(), QStringLiteral("Hauptbahnhof"));
        // The page change is the sign's own: it too is a message.
        windows->sign().Timer1->OnTimer();
        QTRY_COMPARE(client.messages.size(), 3);
        QCOMPARE(client.pageShown(), QStringLiteral("Ostseite"));
        // Nothing changed, nothing sent.
        feed->changedNow();
        QTest::qWait(50);
        QCOMPARE(client.messages.size(), 3);

        press(&TForm2::Shape2MouseDown);
        QTRY_COMPARE(client.pageShown(), QStringLiteral("M\u00fchle"));

        // Line and destination: the sign is dark while the boxes are open.
        const int before = int(client.messages.size());
        unit().Label5Click();
        platform.inputAnswers = {tk::Text("12"), tk::fromUtf8("Zoo – Tor 3")};
        press(&TForm2::Shape8MouseDown);
        QTRY_VERIFY(client.messages.size() >= before + 2);
        bool darkSeen = false;
        for (qsizetype i = before; i < client.messages.size(); ++i)
            darkSeen = darkSeen || client.messages[i].value("signPageShown").toInt() == -1;
        QVERIFY(darkSeen);
        QCOMPARE(client.pageShown(), QStringLiteral(" 12 Zoo \u2013 Tor 3"));
        QCOMPARE(client.last().value("line").toString(), QStringLiteral("12"));
    }

    // Foreign hosts and origins, too many clients, one that never reads,
    // huge and malformed requests, a thousand connections: each refused,
    // the sign served on, the memory bounded.
    void badClientsAreRefusedAndTheSignGoesOn()
    {
        const long residentBefore = residentKiB();
        Client good(port);
        QTRY_COMPARE(good.messages.size(), 1);

        // DNS rebinding: a name pointing here; a page of a foreign site.
        for (const auto& [host, origin] : {std::pair{QByteArray("evil.example"), QByteArray()},
                                           std::pair{QByteArray("127.0.0.1"), QByteArray("http://evil.example")}}) {
            const QByteArray answer = exchange(
                port, "GET /ws HTTP/1.1\r\nHost: " + host + ":" + QByteArray::number(port)
                          + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                            "Sec-WebSocket-Version: 13\r\n" + (origin.isEmpty() ? QByteArray() : "Origin: " + origin + "\r\n")
                          + "\r\n");
            QVERIFY2(!answer.contains("signPages"), answer.constData());
        }
        QTRY_COMPARE(sign->clientCount(), 1);

        // At most MaxClients at once.
        std::vector<std::unique_ptr<Client>> crowd;
        for (int i = 0; i < web::MaxClients + 4; ++i)
            crowd.push_back(std::make_unique<Client>(port));
        QTRY_VERIFY(sign->clientCount() == web::MaxClients);
        QTest::qWait(200);
        QCOMPARE(sign->clientCount(), web::MaxClients);
        crowd.clear();
        QTRY_COMPARE(sign->clientCount(), 1);

        // A frame larger than a client may send ends that client.
        Client talker(port);
        QTRY_COMPARE(sign->clientCount(), 2);
        talker.socket.sendTextMessage(QString(4096, u'x'));
        QTRY_COMPARE(sign->clientCount(), 1);

        // A malformed upgrade is refused.
        const QByteArray malformed = exchange(port, "GET /ws HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                                                        + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                                                          "Sec-WebSocket-Version: 99\r\n\r\n");
        QVERIFY2(malformed.startsWith("HTTP/1.1 426") && malformed.contains("Sec-WebSocket-Version: 13"),
                 malformed.constData());

        // A thousand connections, opened and left: the places are bounded.
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 1000; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, port);
        }
        // The server never holds more than its bound, however slowly it
        // gets to them: watched until every handshake has ended one way or
        // the other (the kernel retries the ones it dropped).
        const auto settled = [&] {
            return std::none_of(idle.begin(), idle.end(), [](const auto& socket) {
                return socket->state() == QAbstractSocket::ConnectingState
                       || socket->state() == QAbstractSocket::HostLookupState;
            });
        };
        int most = 0;
        QTRY_VERIFY_WITH_TIMEOUT((most = std::max(most, sign->connectionCount()), settled()), 60000);
        QVERIFY2(most <= web::MaxConnections, qPrintable(QString::number(most)));
        idle.clear();
        QTest::qWait(500);

        // One that never reads: a raw upgrade with a tiny window, then nothing.
        QTcpSocket sleeper;
        sleeper.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        // Qt would read on into memory of its own; the sleeper takes 4 KiB.
        sleeper.setReadBufferSize(4096);
        QVERIFY(upgradeByHand(sleeper, port));
        QTRY_COMPARE(sign->clientCount(), 2);
        // Long changes, each different, until the sleeper is dropped (or a bound).
        const tk::Text filler(250, 'x');
        int changes = 0;
        for (; changes < 20000 && sign->clientCount() == 2; ++changes) {
            unit().setLineDestination(std::to_string(changes), filler);
            feed->changedNow();
            // Changes come one event at a time.
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE(sign->clientCount(), 1);
        // The reader still gets what the sign shows.
        unit().setLineDestination("5", "Ende");
        feed->changedNow();
        QTRY_COMPARE(good.last().value("lineDestinationText").toString(), QStringLiteral("  5 Ende"));
        QVERIFY(get(port, "/state.json").contains("  5 Ende"));

        const long grown = residentKiB() - residentBefore;
        qInfo("memory grew by %ld KiB; the sleeper was dropped after %d changes", grown, changes);
        QVERIFY2(grown < 64 * 1024, qPrintable(QString::number(grown)));
    }

    // The sign takes no data and short headers only: past the bounds a
    // request is answered at once and its connection closed, without the
    // rest being read into memory; the sign is served on.
    void requestsAreBounded_data()
    {
        QTest::addColumn<QByteArray>("method");
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<qsizetype>("headerSize"); // padded to this; 0: as it is
        QTest::addColumn<qint64>("body");
        QTest::addColumn<QByteArray>("status");
        const qsizetype bound = web::MaxHeaderBytes;
        QTest::newRow("header at its bound") << QByteArray("GET") << QByteArray() << bound << qint64(0)
                                             << QByteArray("200");
        QTest::newRow("header past its bound") << QByteArray("GET") << QByteArray() << bound + 1 << qint64(0)
                                               << QByteArray("431");
        QTest::newRow("10 MB header") << QByteArray("GET") << QByteArray() << qsizetype(10 << 20) << qint64(0)
                                      << QByteArray("431");
        QTest::newRow("no body announced") << QByteArray("GET") << QByteArray("Content-Length: 0\r\n") << qsizetype(0)
                                           << qint64(0) << QByteArray("200");
        QTest::newRow("small body") << QByteArray("POST") << QByteArray("Content-Length: 5\r\n") << qsizetype(0)
                                    << qint64(5) << QByteArray("413");
        QTest::newRow("chunked body") << QByteArray("POST") << QByteArray("transfer-encoding: chunked\r\n")
                                      << qsizetype(0) << qint64(16) << QByteArray("413");
        QTest::newRow("100 MB body") << QByteArray("POST") << QByteArray("Content-Length: 104857600\r\n")
                                     << qsizetype(0) << qint64(100 << 20) << QByteArray("413");
    }

    void requestsAreBounded()
    {
        QFETCH(QByteArray, method);
        QFETCH(QByteArray, fields);
        QFETCH(qsizetype, headerSize);
        QFETCH(qint64, body);
        QFETCH(QByteArray, status);
        QByteArray request = method + " / HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
                             + "\r\nConnection: close\r\n" + fields + "X-Filler: x";
        if (headerSize > 0)
            request += QByteArray(headerSize - request.size(), 'x');
        request += "\r\n\r\n";
        const long residentBefore = residentKiB();
        const QByteArray answer = exchange(port, request, 20000, body);
        QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.left(200).constData());
        const long grown = residentKiB() - residentBefore;
        QVERIFY2(body < (1 << 20) || grown < 8 * 1024, qPrintable(QStringLiteral("grew by %1 KiB").arg(grown)));
        QVERIFY(get(port, "/").startsWith("HTTP/1.1 200"));
    }

    // HEAD is answered as GET would be, without a body.
    void headAnswersWithoutABody()
    {
        for (const auto& [path, status] : {std::pair{QByteArray("/"), QByteArray("200")},
                                           std::pair{QByteArray("/state.json"), QByteArray("200")},
                                           std::pair{QByteArray("/fehlt"), QByteArray("404")}}) {
            const QByteArray answer = exchange(port, "HEAD " + path + " HTTP/1.1\r\nHost: 127.0.0.1:"
                                                         + QByteArray::number(port) + "\r\nConnection: close\r\n\r\n");
            QVERIFY2(answer.startsWith("HTTP/1.1 " + status), answer.constData());
            QVERIFY2(answer.endsWith("\r\n\r\n"), answer.constData());
        }
    }

    // A browser source reloaded all evening: each reload a WebSocket opened
    // and closed, far more than the server holds at once, and the page
    // still served after them.
    void manyReloadsLeaveTheSignServed()
    {
        for (int i = 0; i < 200; ++i) {
            Client reload(port);
            QTRY_VERIFY2(reload.messages.size() == 1, qPrintable(QStringLiteral("reload %1").arg(i)));
            reload.socket.close();
            QTRY_COMPARE(sign->clientCount(), 0);
        }
        QTRY_COMPARE(sign->connectionCount(), 0);
        QVERIFY(get(port, "/").startsWith("HTTP/1.1 200"));
        Client last(port);
        QTRY_COMPARE(last.messages.size(), 1);
    }

    // A client that has gone silent (its computer asleep, its network
    // gone without a word) is dropped after a few unanswered pings; one that
    // answers stays however long it is connected. The beat is shortened for
    // this case only.
    void silentClientsAreDropped()
    {
        tearDown();
        qputenv("PENDRALUMOVISTA_WEB_HEARTBEAT_MS", "200");
        setUp();
        qunsetenv("PENDRALUMOVISTA_WEB_HEARTBEAT_MS");
        Client answering(port);
        QTRY_COMPARE(answering.messages.size(), 1);
        // Upgraded by hand, then never a word back, not even to a ping.
        QTcpSocket silent;
        QVERIFY(upgradeByHand(silent, port));
        QTRY_COMPARE(sign->clientCount(), 2);
        QElapsedTimer connected;
        connected.start();
        QTRY_COMPARE(sign->clientCount(), 1);
        // Not before three beats without an answer.
        QVERIFY2(connected.elapsed() >= 500, qPrintable(QString::number(connected.elapsed())));
        QTRY_COMPARE(silent.state(), QAbstractSocket::UnconnectedState);
        // The one that answers is still served, beats later.
        QTest::qWait(1000);
        QCOMPARE(sign->clientCount(), 1);
        unit().setLineDestination("7", "Wache");
        feed->changedNow();
        QTRY_COMPARE(answering.last().value("lineDestinationText").toString(), QStringLiteral("  7 Wache"));
    }

    // As many connections as the bound are held; the next one is closed as
    // it arrives, and those held stay.
    void connectionsUpToTheirBound()
    {
        // Sixteen at a time, well within the listen queue, so that the kernel
        // drops none to be tried again a second later.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        while (held.size() < size_t(web::MaxConnections)) {
            for (int i = 0; i < 16 && held.size() < size_t(web::MaxConnections); ++i) {
                held.push_back(std::make_unique<QTcpSocket>());
                held.back()->connectToHost(QHostAddress::LocalHost, port);
            }
            QTRY_COMPARE(sign->connectionCount(), int(held.size()));
        }
        QCOMPARE(sign->connectionCount(), web::MaxConnections);
        QTcpSocket oneMore;
        oneMore.connectToHost(QHostAddress::LocalHost, port);
        QTRY_COMPARE(oneMore.state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(sign->connectionCount(), web::MaxConnections);
        for (const std::unique_ptr<QTcpSocket>& socket : held)
            QCOMPARE(socket->state(), QAbstractSocket::ConnectedState);
    }

    // --web, --web=PORT, --web-adresse on the command line.
    void commandLineAsksForTheWebSign()
    {
        auto parse = [](std::vector<const char*> words) {
            words.insert(words.begin(), "pendralumovista");
            std::vector<char*> argv;
            for (const char* word : words)
                argv.push_back(const_cast<char*>(word));
            std::FILE* sink = std::fopen("/dev/null", "w");
            CommandLine line = parseCommandLine(int(argv.size()), argv.data(), sink, sink);
            std::fclose(sink);
            return line;
        };
        CommandLine plain = parse({"--web"});
        QVERIFY(plain.web && !plain.exitCode);
        QCOMPARE(plain.webPort, 0u);
        CommandLine ported = parse({"--web=9000"});
        QVERIFY(ported.web && !ported.exitCode);
        QCOMPARE(ported.webPort, 9000u);
        CommandLine addressed = parse({"--web-adresse", "192.168.1.5"});
        QVERIFY(addressed.web && !addressed.exitCode);
        QCOMPARE(QByteArray(addressed.webAddress), QByteArray("192.168.1.5"));
        for (const char* wrong : {"--web=", "--web=0", "--web=65536", "--web=80a", "--web=99999999999"})
            QCOMPARE(parse({wrong}).exitCode.value_or(-1), 2);
        QVERIFY(!parse({}).web);
    }

    // A port in use: one line, no web sign, the program goes on.
    void aPortInUseIsSaidInOneLine()
    {
        std::unique_ptr<web::WebSign> second;
        const web::Answer taken = web::serve(second, *feed, QString(), port);
        QVERIFY(!taken.served);
        QVERIFY(taken.text.contains(QString::number(port)));
        QVERIFY(!taken.text.contains(u'\n'));
        QVERIFY(!second);
        // The highest port is one; the next number is none, and said so.
        QVERIFY(web::serve(second, *feed, QString(), 65535).served);
        QCOMPARE(second->url().port(), 65535);
        // Asked again, as a second start or the bus asks: the sign served
        // answers, unless another port or address is asked for.
        const QString served = second->url().toString();
        for (const auto& [address, port] : {std::pair{QString(), 0u}, std::pair{QStringLiteral("127.0.0.1"), 0u},
                                            std::pair{QString(), uint(second->url().port())}})
            QCOMPARE(web::serve(second, *feed, address, port).text, served);
        for (const auto& [address, port] : {std::pair{QString(), 9999u}, std::pair{QStringLiteral("0.0.0.0"), 0u}}) {
            const web::Answer other = web::serve(second, *feed, address, port);
            QVERIFY(!other.served);
            QVERIFY2(other.text.contains(served) && other.text.contains(QStringLiteral("kein zweites")),
                     qPrintable(other.text));
        }
        second.reset();
        // "::" is every address, IPv4's too, and so are the addresses
        // printed for it.
        QVERIFY(web::serve(second, *feed, QStringLiteral("::"), 65535).served);
        QVERIFY(second->otherUrls().size() >= 2); // at least the machine's name and NAME.local
        QVERIFY(get(65535, "/", "localhost:65535").startsWith("HTTP/1.1 200"));
        second.reset();
        const web::Answer noPort = web::serve(second, *feed, QString(), 65536);
        QCOMPARE(noPort.text, QString::fromUtf8("Port 65536 gibt es nicht (1 bis 65535); das Schild im Browser bleibt aus."));
        QVERIFY(!noPort.served && !second);
        const web::Answer notAnAddress = web::serve(second, *feed, QStringLiteral("bahnhof.example"), 0);
        QVERIFY(!notAnAddress.served);
        QVERIFY(!second);
    }
};

QTEST_MAIN(TestWebSign)
#include "tst_websign.moc"
