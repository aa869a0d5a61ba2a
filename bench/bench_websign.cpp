// The web sign's latency: from a stop call (the control unit's arrow key
// handler, then the feed told of it, as after a click) to the message at
// WebSocket clients on 127.0.0.1, with 1 and with 64 clients; beside a floor
// measured in the same run: the same message bytes sent by a plain
// QWebSocketServer to as many clients, with nothing of ours in between.
//
//   bench_websign [calls]          (default 100; plus 10 unrecorded)
//   bench_websign --idle PORT N S  connects N clients to a running
//                                  simulator's web sign and keeps them
//                                  open and idle for S seconds (for
//                                  websign_cpu.sh)
//
// The clients live on a thread of their own with its own event loop, as a
// browser would be a process of its own; times are taken with one steady
// clock on both threads. Every wait is bounded: a message that does not
// arrive within two seconds ends the run with an error.

#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <startup.h>
#include <feed.h>
#include <websign.h>

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// Clients on their own thread. Each message's arrival time is kept; when all
// clients have one message more than before, the main thread is woken.
class Clients : public QObject {
public:
    std::atomic<int> received{0};
    std::vector<Clock::time_point> arrivals; // touched only between rounds
    std::atomic<int> connected{0};

    void open(const QUrl& url, int count)
    {
        for (int i = 0; i < count; ++i) {
            auto* socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
            connect(socket, &QWebSocket::connected, this, [this] { ++connected; });
            connect(socket, &QWebSocket::textMessageReceived, this, [this](const QString&) {
                const Clock::time_point now = Clock::now();
                std::lock_guard lock(mutex_);
                arrivals.push_back(now);
                ++received;
            });
            socket->open(url);
            sockets_.push_back(socket);
        }
    }

    void closeAll()
    {
        for (QWebSocket* socket : sockets_)
            delete socket;
        sockets_.clear();
    }

    std::vector<Clock::time_point> take()
    {
        std::lock_guard lock(mutex_);
        std::vector<Clock::time_point> taken;
        taken.swap(arrivals);
        received = 0;
        return taken;
    }

private:
    std::mutex mutex_;
    std::vector<QWebSocket*> sockets_;
};

// Runs the main thread's event loop until `done` holds or `ms` pass.
bool waitFor(const std::function<bool()>& done, int ms = 2000)
{
    const Clock::time_point limit = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > limit)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

void settle(int ms)
{
    waitFor([] { return false; }, ms);
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

struct Figures {
    double firstP50 = 0, firstP95 = 0, lastP50 = 0, lastP95 = 0;
    // From the change (the handler has returned, the feed is told) to the
    // last client's message.
    double changeP50 = 0, changeP95 = 0;
};

// `count` clients on `url`; `act` changes something that sends one message
// to every client and returns when the change was made. p50/p95 of the time to the first and to the last
// client's message, over `calls` recorded rounds after 10 unrecorded ones.
bool measure(Clients& clients, const QUrl& url, int count, int calls, const std::function<Clock::time_point()>& act,
             Figures& figures)
{
    QMetaObject::invokeMethod(&clients, [&] { clients.open(url, count); }, Qt::BlockingQueuedConnection);
    if (!waitFor([&] { return clients.connected == count; }))
        return false;
    // The state each client gets on connecting is not a round.
    settle(200);
    std::vector<double> first, last, change;
    bool ok = true;
    for (int round = 0; round < calls + 10 && ok; ++round) {
        clients.take();
        const Clock::time_point start = Clock::now();
        const Clock::time_point changed = act();
        ok = waitFor([&] { return clients.received >= count; });
        const std::vector<Clock::time_point> arrivals = clients.take();
        if (!ok || int(arrivals.size()) != count) {
            std::fprintf(stderr, "round %d: %zu of %d clients got the message\n", round, arrivals.size(), count);
            ok = false;
            break;
        }
        if (round < 10)
            continue;
        const auto [earliest, latest] = std::minmax_element(arrivals.begin(), arrivals.end());
        first.push_back(microseconds(*earliest - start));
        last.push_back(microseconds(*latest - start));
        change.push_back(microseconds(*latest - changed));
    }
    QMetaObject::invokeMethod(&clients, [&] { clients.closeAll(); }, Qt::BlockingQueuedConnection);
    clients.connected = 0;
    settle(200);
    if (!ok)
        return false;
    figures = {percentile(first, 0.5), percentile(first, 0.95), percentile(last, 0.5), percentile(last, 0.95),
               percentile(change, 0.5), percentile(change, 0.95)};
    return true;
}

// The floor: a plain WebSocket server of the same library on loopback that
// sends a given message to every client it has, nothing else.
class EchoFloor : public QObject {
public:
    QWebSocketServer server{QStringLiteral("floor"), QWebSocketServer::NonSecureMode};
    std::vector<QWebSocket*> sockets;

    EchoFloor()
    {
        server.listen(QHostAddress::LocalHost, 0);
        connect(&server, &QWebSocketServer::newConnection, this, [this] {
            while (server.hasPendingConnections()) {
                QWebSocket* socket = server.nextPendingConnection();
                socket->setParent(this);
                sockets.push_back(socket);
                connect(socket, &QWebSocket::disconnected, this, [this, socket] {
                    std::erase(sockets, socket);
                    socket->deleteLater();
                });
            }
        });
    }
    QUrl url() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(server.serverPort())); }
    void send(const QString& message)
    {
        for (QWebSocket* socket : sockets)
            socket->sendTextMessage(message);
    }
};

// Keeps `count` clients connected to a running simulator for `seconds`.
int idleClients(quint16 port, int count, int seconds)
{
    QThread thread;
    Clients clients;
    clients.moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(
        &clients, [&] { clients.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)), count); },
        Qt::BlockingQueuedConnection);
    const bool connected = waitFor([&] { return clients.connected == count; }, 5000);
    std::printf("%d of %d clients connected\n", int(clients.connected), count);
    std::fflush(stdout);
    QThread::sleep(unsigned(seconds));
    QMetaObject::invokeMethod(&clients, [&] { clients.closeAll(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    return connected ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() == 5 && arguments[1] == QLatin1String("--idle"))
        return idleClients(quint16(arguments[2].toUInt()), arguments[3].toInt(), arguments[4].toInt());
    const int calls = arguments.size() > 1 ? std::clamp(arguments[1].toInt(), 20, 100000) : 100;

    ScriptedPlatform platform;
    Windows windows;
    state::Feed feed(windows.sign(), windows.controlUnit());
    TForm2& unit = windows.controlUnit();
    // A route of 99 stops, so that every call changes the sign.
    QTemporaryDir scratch;
    QFile file(scratch.filePath(QStringLiteral("route.txt")));
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < 99; ++i)
        file.write("Haltestelle Nummer " + QByteArray::number(i + 1) + "\r\n");
    file.close();
    if (!unit.loadStopFile(file.fileName()).empty())
        return 1;
    feed.changedNow();

    web::WebSign sign([&feed] { return web::stateOf(feed.readNow()); });
    QString error;
    if (!sign.listen(QString(), 0, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    sign.follow(feed);
    const QUrl signUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(sign.url().port()));

    // A stop call: down the route, back up at its end; the feed hears of
    // it as it does after each key handler of the control unit.
    bool down = true;
    auto stopCall = [&] {
        if (unit.CurrentStop == 98)
            down = false;
        if (unit.CurrentStop == 0)
            down = true;
        if (down)
            unit.Shape2MouseDown();
        else
            unit.Shape1MouseDown();
        const Clock::time_point changed = Clock::now();
        feed.changedNow();
        return changed;
    };
    // The floor sends a message of the size the web sign sends.
    QJsonObject state = web::stateOf(feed.current());
    state.insert(QStringLiteral("version"), web::MessageVersion);
    state.insert(QStringLiteral("type"), QStringLiteral("state"));
    const QString floorMessage = QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
    EchoFloor floor;

    QThread thread;
    Clients clients;
    clients.moveToThread(&thread);
    thread.start();

    std::printf("%d stop calls, %zu-byte messages; µs from the call to the message at the first / last client,\n"
                "and from the change (the handler returned) to the last client\n",
                calls, size_t(floorMessage.toUtf8().size()));
    std::printf("%-8s %-22s %10s %10s %10s %10s %10s %10s\n", "clients", "", "first p50", "first p95", "last p50",
                "last p95", "chg p50", "chg p95");
    int status = 0;
    for (const int count : {1, 64}) {
        Figures floorFigures, signFigures;
        const bool floorOk =
            measure(clients, floor.url(), count, calls, [&] {
            const Clock::time_point now = Clock::now();
            floor.send(floorMessage);
            return now;
        }, floorFigures);
        const bool signOk = measure(clients, signUrl, count, calls, stopCall, signFigures);
        if (!floorOk || !signOk) {
            status = 1;
            continue;
        }
        for (const auto& [name, f] : {std::pair{"floor (plain send)", floorFigures}, std::pair{"web sign (stop call)", signFigures}})
            std::printf("%-8d %-22s %10.0f %10.0f %10.0f %10.0f %10.0f %10.0f\n", count, name, f.firstP50, f.firstP95,
                        f.lastP50, f.lastP95, f.changeP50, f.changeP95);
        std::printf("%-8d %-22s %10.2f %10.2f %10.2f %10.2f %10.2f %10.2f\n", count, "ratio",
                    signFigures.firstP50 / floorFigures.firstP50, signFigures.firstP95 / floorFigures.firstP95,
                    signFigures.lastP50 / floorFigures.lastP50, signFigures.lastP95 / floorFigures.lastP95,
                    signFigures.changeP50 / floorFigures.changeP50, signFigures.changeP95 / floorFigures.changeP95);
    }
    thread.quit();
    thread.wait();
    return status;
}
