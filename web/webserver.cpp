// The web sign's server: Qt HTTP Server for the page and the state, Qt
// WebSockets for the pages kept up to date. It lives in a library of its own
// that the program loads when the web sign is asked for (see websign.cpp),
// and knows nothing of the simulator but the state reader it is given.

#include "webserver.h"

#include "httpcompat.h"

#include <QHostAddress>
#include <QHostInfo>

#include <QElapsedTimer>
#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QMap>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <vector>

#include <sys/socket.h>
#include <unistd.h>

namespace web {

namespace {

QByteArray page(const QByteArray& glyphs, const QByteArray& layout)
{
    QFile file(QStringLiteral(":/web/sign.html"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray html = file.readAll();
    // The glyphs and the panel's layout are the sign window's own, put in
    // as the page is served: the page carries no font or sizes of its own.
    html.replace("/*GLYPHS*/{}", glyphs);
    html.replace("/*LAYOUT*/{}", layout);
    return html;
}

QHttpServerResponse refusal(const char* text, QHttpServerResponse::StatusCode status)
{
    QHttpServerResponse response("text/plain; charset=utf-8", QByteArray(text) + '\n', status);
    compat::setHeader(response, "Cache-Control", "no-store");
    return response;
}

// Watches what a client sends before Qt HTTP Server reads it, which would
// take a header or a body whole into memory however long: a header past
// its bound, or a request that announces a body, is answered at once and
// the connection closed, and what still comes is thrown away unread. It
// knows of HTTP only where a header ends and the two fields that announce
// a body.
class RequestGuard : public QObject {
public:
    explicit RequestGuard(QTcpSocket* socket) : QObject(socket), socket_(socket)
    {
        // Connected before the server's own reader, so called first.
        connect(socket, &QTcpSocket::readyRead, this, &RequestGuard::look);
    }

private:
    void look()
    {
        // A WebSocket now: its frames have bounds of their own. A socket
        // already closed (a refused connection) has nothing to look at.
        if (socket_->property("websocket").toBool() || !socket_->isOpen())
            return;
        if (refused_) {
            socket_->readAll();
            return;
        }
        const QByteArray chunk = socket_->peek(socket_->bytesAvailable());
        // The header being read: what came since the last header's end.
        QByteArray text = std::move(header_) + chunk;
        for (qsizetype end = text.indexOf("\r\n\r\n"); end >= 0; end = text.indexOf("\r\n\r\n")) {
            if (end > MaxHeaderBytes)
                return refuse(431, "Request Header Fields Too Large", "Der Kopf der Anfrage ist zu lang.");
            const QMap<QByteArray, QByteArray> fields = headerFields(text.left(end + 2));
            if (fields.contains("transfer-encoding") || fields.value("content-length", "0") != "0")
                return refuse(413, "Payload Too Large", "Das Schild nimmt keine Daten an.");
            // An upgrade the WebSocket library would refuse itself: refused
            // here, since the library, having refused it, still reads on
            // from the closed connection and complains on standard error.
            if (fields.value("upgrade").toLower() == "websocket"
                && (fields.value("sec-websocket-version") != "13"
                    || QByteArray::fromBase64(fields.value("sec-websocket-key")).size() != 16))
                return refuse(426, "Upgrade Required", "Das Schild spricht WebSocket in Version 13.",
                              "Sec-WebSocket-Version: 13\r\n");
            text.remove(0, end + 4);
        }
        // Unfinished, and longer than a header may be even if its blank
        // line came next.
        if (text.size() > MaxHeaderBytes + 3)
            return refuse(431, "Request Header Fields Too Large", "Der Kopf der Anfrage ist zu lang.");
        header_ = std::move(text);
    }

    // The fields of a header by their names in lower case; of a name given
    // twice, the last.
    static QMap<QByteArray, QByteArray> headerFields(const QByteArray& header)
    {
        QMap<QByteArray, QByteArray> fields;
        for (const QByteArray& line : header.split('\n')) {
            const qsizetype colon = line.indexOf(':');
            if (colon >= 0)
                fields.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        return fields;
    }

    void refuse(int status, const char* reason, const char* text, const char* extraFields = "")
    {
        refused_ = true;
        header_.clear();
        socket_->readAll();
        const QByteArray body = QByteArray(text) + '\n';
        socket_->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason
                       + "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
                       + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraFields + "\r\n"
                       + body);
        // Closed for sending only: a full close while the client still
        // sends makes the kernel reset the connection, and the client would
        // lose the answer with it. What comes meanwhile is thrown away, and
        // a client that does not stop is cut off a moment later.
        socket_->flush();
        ::shutdown(int(socket_->socketDescriptor()), SHUT_WR);
        QTimer::singleShot(2000, socket_, [socket = socket_] { socket->abort(); });
    }

    QTcpSocket* socket_;
    QByteArray header_;
    bool refused_ = false;
};

// Counts the connections and closes one more than allowed as it arrives; a
// connection that has not become a WebSocket after a while is closed too,
// so that idle ones cannot fill the places.
class LimitedTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

    // The connections alive now, counted from the sockets themselves: a
    // count kept by signals drifts, since Qt HTTP Server cuts every signal
    // of a socket it hands over to a WebSocket, its destroyed() included,
    // and a place once lost stayed lost until every new one was refused.
    int open() const
    {
        return int(std::count_if(sockets_.begin(), sockets_.end(),
                                 [](const QPointer<QTcpSocket>& socket) { return !socket.isNull(); }));
    }

    // HTTP/1.1: a client that sends "Connection: close" (a script, curl,
    // most libraries when asked for one answer) reads the answer up to the
    // end of the connection. Called by every route and the missing handler:
    // the connection the request came on is closed once the answer that is
    // being written now is out, not after the idle limit.
    void closeIfAsked(const QHttpServerRequest& request)
    {
        QPointer<QTcpSocket> socket = reading_;
        // Where the request names its peer's port (Qt 6.5 on), its
        // connection is the one from that address and port: Qt 6.8 reads
        // requests outside the slots that mark the connection being read.
        if (const quint16 port = compat::remotePort(request)) {
            socket = nullptr;
            for (const QPointer<QTcpSocket>& candidate : sockets_)
                if (candidate && candidate->peerPort() == port
                    && candidate->peerAddress().isEqual(request.remoteAddress(), QHostAddress::TolerantConversion))
                    socket = candidate;
        }
        // Only while the library reads a request off that connection; one it
        // handles later (a pipelined request) keeps its connection open until
        // the idle limit.
        if (!socket || !socket->peerAddress().isEqual(request.remoteAddress(), QHostAddress::TolerantConversion))
            return;
        const QList<QByteArray> options = request.value("Connection").split(',');
        if (std::none_of(options.begin(), options.end(),
                         [](const QByteArray& option) { return option.trimmed().compare("close", Qt::CaseInsensitive) == 0; }))
            return;
        // Queued: the library writes the answer after the route returns.
        // What is written then still goes out before the close.
        QMetaObject::invokeMethod(
            this,
            [socket] {
                if (socket)
                    socket->disconnectFromHost();
            },
            Qt::QueuedConnection);
    }

    // The connection of that peer is a WebSocket now: it stays. Its socket,
    // which the WebSocket writes through, tells how much waits unsent.
    QTcpSocket* keep(const QHostAddress& peer, quint16 port)
    {
        for (const QPointer<QTcpSocket>& socket : sockets_)
            if (socket && socket->peerPort() == port && socket->peerAddress() == peer) {
                socket->setProperty("websocket", true);
                return socket;
            }
        return nullptr;
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            // The socket took nothing it could not use: the descriptor is
            // still ours, and would stay open for the program's life.
            ::close(int(descriptor));
            delete socket;
            return;
        }
        std::erase_if(sockets_, [](const QPointer<QTcpSocket>& gone) { return gone.isNull(); });
        if (open() >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        sockets_.push_back(socket);
        new RequestGuard(socket);
        QTimer::singleShot(HttpConnectionMs, socket, [socket] {
            if (!socket->property("websocket").toBool())
                socket->abort();
        });
        // The HTTP server reads each request, and runs its route, in its
        // own slot on the socket's readyRead; it connects that slot as the
        // socket is added. The two slots around it tell the routes which
        // connection their request came on.
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { reading_ = socket; });
        addPendingConnection(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this] { reading_ = nullptr; });
    }

private:
    std::vector<QPointer<QTcpSocket>> sockets_;
    QPointer<QTcpSocket> reading_;
};

bool everyAddress(const QHostAddress& address)
{
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6;
}

// The machine's own name, as a Host header carries it (lower case), or
// nothing where it has none worth the name.
QString machineName()
{
    const QString name = QHostInfo::localHostName().toLower();
    return name == QLatin1String("localhost") ? QString() : name;
}

} // namespace

bool hostServed(const QByteArray& host, const QHostAddress& address, quint16 port)
{
    if (host.isEmpty() || host.size() > 300)
        return false;
    // A name, an IPv4 address or a bracketed IPv6 one, and a port: nothing
    // else belongs in the header, and QUrl's tolerant parsing is not to
    // guess what a control character or a blank was meant to be.
    const auto authority = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'
               || c == ':' || c == '[' || c == ']';
    };
    if (!std::all_of(host.begin(), host.end(), authority))
        return false;
    // The port as written, read here: QUrl takes an overlong one and wraps
    // it round, so that a number far past 65535 could name the served port.
    const qsizetype colon = host.lastIndexOf(':');
    bool isNumber = false;
    if (colon < 0 || host.indexOf(']', colon) >= 0 || host.mid(colon + 1).toUInt(&isNumber) != port || !isNumber)
        return false;
    const QUrl url(QStringLiteral("http://") + QString::fromLatin1(host));
    if (!url.isValid() || url.port() != int(port) || !url.userInfo().isEmpty() || url.path().size() > 0)
        return false;
    const QString name = url.host();
    if ((address.isLoopback() || everyAddress(address)) && name == QLatin1String("localhost"))
        return true;
    if (everyAddress(address)) {
        const QString machine = machineName();
        if (!machine.isEmpty() && (name == machine || name == machine + QLatin1String(".local")))
            return true;
    }
    const QHostAddress named(name);
    if (named.isNull())
        return false;
    if (everyAddress(address))
        return named.isLoopback() || QNetworkInterface::allAddresses().contains(named);
    return named.isEqual(address, QHostAddress::TolerantConversion);
}

// One page or script connected over a WebSocket.
struct Client {
    QWebSocket* socket = nullptr;
    // The connection under it, whose buffer holds what the client has not
    // taken yet.
    QPointer<QTcpSocket> connection;
    // Since the client last said anything, a pong included.
    QElapsedTimer heard;
};

// What a page asks to learn that the simulator still answers (a browser's
// page cannot see the pings of the protocol), and the answer, to that page
// alone: a script that never asks never sees one.
constexpr char PingMessage[] = R"({"type":"ping"})";

class Server final : public ServerInterface {
public:
    Server(StateReader readState, QByteArray glyphs, QByteArray layout)
        : readState_(std::move(readState)), glyphs_(std::move(glyphs)), layout_(std::move(layout))
    {
        http_.route(QStringLiteral("/"), QHttpServerRequest::Method::Get, [this](const QHttpServerRequest& request) {
            tcp_->closeIfAsked(request);
            if (!ours(request))
                return foreignHost();
            QHttpServerResponse response("text/html; charset=utf-8", page_);
            addSafetyHeaders(response);
            return response;
        });
        http_.route(QStringLiteral("/state.json"), QHttpServerRequest::Method::Get,
                    [this](const QHttpServerRequest& request) {
                        tcp_->closeIfAsked(request);
                        if (!ours(request))
                            return foreignHost();
                        QJsonObject state = readState_();
                        state.insert(QStringLiteral("version"), MessageVersion);
                        QHttpServerResponse response(state);
                        addSafetyHeaders(response);
                        return response;
                    });
        // The upgrade to a WebSocket is the library's: Qt 6.8 asks the
        // verifier below before any route, Qt 6.4 upgrades once this route
        // has taken the request, which it then must not answer. A plain
        // request here is told at once what the address is for.
        http_.route(QStringLiteral("/ws"), QHttpServerRequest::Method::Get,
                    [this](const QHttpServerRequest& request, compat::Responder responder) {
                        if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0)
                            return;
                        tcp_->closeIfAsked(request);
                        responder.write(QByteArray("Hier spricht das Schild nur WebSocket.\n"),
                                        "text/plain; charset=utf-8", QHttpServerResponder::StatusCode::UpgradeRequired);
                    });
        compat::setMissingHandler(http_, this, [this](const QHttpServerRequest& request, compat::Responder responder) {
            tcp_->closeIfAsked(request);
            // HEAD asks whether a GET would be answered, and takes no body.
            if (request.method() == QHttpServerRequest::Method::Head) {
                const QString path = request.url().path();
                const bool served = path == QLatin1String("/") || path == QLatin1String("/state.json");
                responder.write(!ours(request) ? QHttpServerResponder::StatusCode::Forbidden
                                : served       ? QHttpServerResponder::StatusCode::Ok
                                               : QHttpServerResponder::StatusCode::NotFound);
                return;
            }
            responder.write(QByteArray("Nicht gefunden. Das Schild steht unter /, der Zustand unter /state.json.\n"),
                            "text/plain; charset=utf-8", QHttpServerResponder::StatusCode::NotFound);
        });
        // A foreign WebSocket is refused before its upgrade where the
        // library asks (Qt 6.8), and closed at once after it where it does
        // not (takeWebSockets).
        compat::verifyUpgrades(
            http_, this,
            [this](const QHttpServerRequest& request) {
                return webSocketServed(request.value("Host"), QString::fromLatin1(request.value("Origin")),
                                       request.url().path());
            },
            int(QHttpServerResponder::StatusCode::Forbidden), "Diese Adresse bedient das Schild nicht.\n");
        connect(&http_, &QHttpServer::newWebSocketConnection, this, [this] { takeWebSockets(); });
        // A test that must see a silent client dropped sets a shorter beat
        // through PENDRALUMOVISTA_WEB_HEARTBEAT_MS rather than wait 15 s;
        // the silence allowed keeps its ratio to the beat.
        bool isNumber = false;
        const int beat = qEnvironmentVariableIntValue("PENDRALUMOVISTA_WEB_HEARTBEAT_MS", &isNumber);
        heartbeat_.setInterval(isNumber && beat >= 100 && beat <= HeartbeatMs ? beat : HeartbeatMs);
        const qint64 silenceAllowed = qint64(heartbeat_.interval()) * SilentClientMs / HeartbeatMs;
        connect(&heartbeat_, &QTimer::timeout, this, [this, silenceAllowed] {
            for (QWebSocket* socket : sockets()) {
                if (find(socket)->heard.elapsed() > silenceAllowed)
                    drop(socket);
                else
                    socket->ping();
            }
        });
    }

    ~Server() override
    {
        for (Client& client : clients_)
            delete client.socket;
    }

    bool listen(const QString& addressText, quint16 port, QString* error) override
    {
        QHostAddress address(QHostAddress::LocalHost);
        if (!addressText.isEmpty() && !address.setAddress(addressText.trimmed())) {
            if (error)
                *error = QStringLiteral("„%1“ ist keine IP-Adresse dieses Rechners; das Schild im Browser bleibt aus.")
                             .arg(addressText.left(64));
            return false;
        }
        // "::" as "0.0.0.0": every address, IPv6 and IPv4 alike, so that
        // the addresses printed for it all work.
        if (address == QHostAddress::AnyIPv6)
            address = QHostAddress::Any;
        auto* tcp = new LimitedTcpServer(this);
        if (!tcp->listen(address, port)) {
            if (error)
                *error = tcp->serverError() == QAbstractSocket::AddressInUseError
                             ? QStringLiteral("Port %1 ist schon belegt; das Schild im Browser bleibt aus. Mit "
                                              "--web=PORT einen anderen wählen.")
                                   .arg(port)
                             : QStringLiteral("Auf %1 Port %2 lässt sich nicht lauschen: %3; das Schild im Browser "
                                              "bleibt aus.")
                                   .arg(address.toString())
                                   .arg(port)
                                   .arg(tcp->errorString());
            delete tcp;
            return false;
        }
        tcp_ = tcp;
        address_ = address;
        port_ = tcp->serverPort();
        http_.bind(tcp);
        page_ = page(glyphs_, layout_);
        heartbeat_.start();
        return true;
    }

    QUrl url() const override
    {
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(address_.isEqual(QHostAddress::Any, QHostAddress::TolerantConversion) ? QStringLiteral("127.0.0.1")
                                                                                            : address_.toString());
        url.setPort(port_);
        url.setPath(QStringLiteral("/"));
        return url;
    }

    QStringList otherUrls() const override
    {
        QStringList urls;
        if (!everyAddress(address_))
            return urls;
        const auto add = [&](const QString& host) {
            QUrl url(QStringLiteral("http:///"));
            url.setHost(host);
            url.setPort(port_);
            urls << url.toString();
        };
        if (const QString machine = machineName(); !machine.isEmpty()) {
            add(machine);
            add(machine + QLatin1String(".local"));
        }
        for (const QHostAddress& address : QNetworkInterface::allAddresses())
            if (!address.isLoopback() && !address.isLinkLocal()
                && (address.protocol() == QAbstractSocket::IPv4Protocol
                    || address.protocol() == QAbstractSocket::IPv6Protocol))
                add(address.toString());
        return urls;
    }

    int clientCount() const override { return int(clients_.size()); }
    int connectionCount() const override { return tcp_ ? tcp_->open() : 0; }

    void publish() override
    {
        if (!tcp_)
            return;
        QJsonObject state = readState_();
        state.insert(QStringLiteral("version"), MessageVersion);
        state.insert(QStringLiteral("type"), QStringLiteral("state"));
        QByteArray message = QJsonDocument(state).toJson(QJsonDocument::Compact);
        if (message == last_)
            return;
        last_ = std::move(message);
        // A copy of the list: a client past its bound is dropped meanwhile.
        for (QWebSocket* socket : sockets())
            send(socket, last_);
    }

private:
    bool ours(const QHttpServerRequest& request) const { return hostServed(request.value("Host"), address_, port_); }

    static QHttpServerResponse foreignHost()
    {
        return refusal("Diese Adresse bedient das Schild nicht.", QHttpServerResponse::StatusCode::Forbidden);
    }

    static void addSafetyHeaders(QHttpServerResponse& response)
    {
        compat::setHeader(response, "Cache-Control", "no-store");
        compat::setHeader(response, "X-Content-Type-Options", "nosniff");
        // The page loads nothing from anywhere and talks to its own server
        // only. No page of another site reads the state either: no
        // Access-Control-Allow-Origin, as no WebSocket of a foreign page is
        // served. The sign's own page, a browser source showing it and
        // scripts outside a browser need none.
        compat::setHeader(response, "Content-Security-Policy",
                          "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                          "connect-src 'self'; frame-ancestors *");
    }

    // A page of a foreign site may open a WebSocket to any address; only
    // the sign's own page (or a program, which names no origin), addressed
    // to the address served, gets one, and only at /ws.
    bool webSocketServed(const QByteArray& host, const QString& origin, const QString& path) const
    {
        const bool ownOrigin = origin.isEmpty() || origin == QLatin1String("http://") + QString::fromLatin1(host);
        return hostServed(host, address_, port_) && ownOrigin && path == QLatin1String("/ws");
    }

    std::vector<QWebSocket*> sockets() const
    {
        std::vector<QWebSocket*> list;
        for (const Client& client : clients_)
            list.push_back(client.socket);
        return list;
    }

    Client* find(QWebSocket* socket)
    {
        for (Client& client : clients_)
            if (client.socket == socket)
                return &client;
        return nullptr;
    }

    void drop(QWebSocket* socket)
    {
        std::erase_if(clients_, [socket](const Client& client) { return client.socket == socket; });
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }

    void send(QWebSocket* socket, const QByteArray& message)
    {
        Client* client = find(socket);
        if (!client)
            return;
        socket->sendTextMessage(QString::fromUtf8(message));
        // On the wire now, not after whatever the event loop has queued
        // first (the sign's own repaint after a stop call): without
        // blocking, what the client's connection does not take stays queued.
        socket->flush();
        if (!client->connection || client->connection->bytesToWrite() > MaxQueuedBytes)
            drop(socket);
    }

    // Closed once the library's own queued work on the fresh connection
    // has run: closed at once, it would come to a closed socket and
    // complain on standard error.
    static void refuseLater(QWebSocket* socket, QWebSocketProtocol::CloseCode code, const QString& why)
    {
        QMetaObject::invokeMethod(
            socket,
            [socket, code, why] {
                socket->close(code, why);
                socket->deleteLater();
            },
            Qt::QueuedConnection);
    }

    void takeWebSockets()
    {
        while (http_.hasPendingWebSocketConnections()) {
            std::unique_ptr<QWebSocket> taken = http_.nextPendingWebSocketConnection();
            QWebSocket* socket = taken.release();
            socket->setParent(this);
            QTcpSocket* connection = tcp_ ? tcp_->keep(socket->peerAddress(), socket->peerPort()) : nullptr;
            const QNetworkRequest request = socket->request();
            const QByteArray host = request.hasRawHeader("Host") ? request.rawHeader("Host")
                                                                  : request.url().authority().toLatin1();
            if (!webSocketServed(host, socket->origin(), request.url().path())) {
                refuseLater(socket, QWebSocketProtocol::CloseCodePolicyViolated,
                            QStringLiteral("Diese Adresse bedient das Schild nicht."));
                continue;
            }
            if (clientCount() >= MaxClients) {
                refuseLater(socket, QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("Zu viele Verbindungen."));
                continue;
            }
            // Nothing a client says changes anything; a long message ends it.
            socket->setMaxAllowedIncomingFrameSize(MaxIncomingBytes);
            socket->setMaxAllowedIncomingMessageSize(MaxIncomingBytes);
            clients_.push_back({socket, connection, {}});
            clients_.back().heard.start();
            connect(socket, &QWebSocket::disconnected, this, [this, socket] { drop(socket); });
            connect(socket, &QWebSocket::pong, this, [this, socket] {
                if (Client* client = find(socket))
                    client->heard.restart();
            });
            connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString& message) {
                Client* client = find(socket);
                if (!client)
                    return;
                client->heard.restart();
                if (message == QLatin1String(PingMessage))
                    send(socket, R"({"type":"pong","version":)" + QByteArray::number(MessageVersion) + '}');
            });
            if (last_.isEmpty()) {
                publish();
            } else {
                send(socket, last_);
            }
        }
    }

    StateReader readState_;
    QByteArray glyphs_;
    QByteArray layout_;
    QHttpServer http_;
    LimitedTcpServer* tcp_ = nullptr;
    QHostAddress address_;
    quint16 port_ = 0;
    QByteArray page_;
    QByteArray last_;
    std::vector<Client> clients_;
    QTimer heartbeat_;
};

ServerInterface* makeServer(ServerInterface::StateReader readState, const QByteArray& glyphs,
                            const QByteArray& layout)
{
    return new Server(std::move(readState), glyphs, layout);
}

} // namespace web
