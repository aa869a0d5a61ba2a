// The web sign's server: Qt HTTP Server for the page and the state, Qt
// WebSockets for the pages kept up to date. It lives in a library of its own
// that the program loads when the web sign is asked for (see websign.cpp),
// and knows nothing of the simulator but the state reader it is given.

#include "webserver.h"

#include "httpcompat.h"

#include <QHostAddress>

#include <QFile>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <vector>

#include <unistd.h>

namespace web {

namespace {

QByteArray page(const QByteArray& glyphs)
{
    QFile file(QStringLiteral(":/web/sign.html"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray html = file.readAll();
    // The glyphs are the sign's own, put in as the page is served: the
    // page carries no font of its own.
    html.replace("/*GLYPHS*/{}", glyphs);
    return html;
}

QHttpServerResponse refusal(const char* text, QHttpServerResponse::StatusCode status)
{
    QHttpServerResponse response("text/plain; charset=utf-8", QByteArray(text) + '\n', status);
    compat::setHeader(response, "Cache-Control", "no-store");
    return response;
}

// Counts the connections and closes one more than allowed as it arrives; a
// connection that has not become a WebSocket after a while is closed too,
// so that idle ones cannot fill the places.
class LimitedTcpServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;
    int open = 0;

    // HTTP/1.1: a client that sends "Connection: close" (a script, curl,
    // most libraries when asked for one answer) reads the answer up to the
    // end of the connection. Called by every route and the missing handler:
    // the connection the request came on is closed once the answer that is
    // being written now is out, not after the idle limit.
    void closeIfAsked(const QHttpServerRequest& request)
    {
        const QPointer<QTcpSocket> socket = reading_;
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
        if (open >= MaxConnections) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++open;
        std::erase_if(sockets_, [](const QPointer<QTcpSocket>& gone) { return gone.isNull(); });
        sockets_.push_back(socket);
        connect(socket, &QObject::destroyed, this, [this] { --open; });
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
    if (address.isLoopback() && name == QLatin1String("localhost"))
        return true;
    const QHostAddress named(name);
    if (named.isNull())
        return false;
    if (address == QHostAddress::Any || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6)
        return named.isLoopback() || QNetworkInterface::allAddresses().contains(named);
    return named.isEqual(address, QHostAddress::TolerantConversion);
}

// One page or script connected over a WebSocket.
struct Client {
    QWebSocket* socket = nullptr;
    // The connection under it, whose buffer holds what the client has not
    // taken yet.
    QPointer<QTcpSocket> connection;
};

class Server final : public ServerInterface {
public:
    Server(StateReader readState, QByteArray glyphs) : readState_(std::move(readState)), glyphs_(std::move(glyphs))
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
    }

    ~Server() override
    {
        for (Client& client : clients_)
            delete client.socket;
    }

    bool listen(const QString& addressText, quint16 port, QString* error) override
    {
        QHostAddress address(QHostAddress::LocalHost);
        if (!addressText.isEmpty() && !address.setAddress(addressText)) {
            if (error)
                *error = QStringLiteral("„%1“ ist keine IP-Adresse dieses Rechners; das Schild im Browser bleibt aus.")
                             .arg(addressText.left(64));
            return false;
        }
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
        page_ = page(glyphs_);
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

    int clientCount() const override { return int(clients_.size()); }
    int connectionCount() const override { return tcp_ ? tcp_->open : 0; }

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
        // The page loads nothing from anywhere and talks to its own server only.
        compat::setHeader(response, "Content-Security-Policy",
                          "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                          "connect-src 'self'; frame-ancestors *");
        compat::setHeader(response, "Access-Control-Allow-Origin", "*");
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
                socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                              QStringLiteral("Diese Adresse bedient das Schild nicht."));
                socket->deleteLater();
                continue;
            }
            if (clientCount() >= MaxClients) {
                socket->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("Zu viele Verbindungen."));
                socket->deleteLater();
                continue;
            }
            // Nothing a client says is heard; a long message ends it.
            socket->setMaxAllowedIncomingFrameSize(MaxIncomingBytes);
            socket->setMaxAllowedIncomingMessageSize(MaxIncomingBytes);
            clients_.push_back({socket, connection});
            connect(socket, &QWebSocket::disconnected, this, [this, socket] { drop(socket); });
            if (last_.isEmpty()) {
                publish();
            } else {
                send(socket, last_);
            }
        }
    }

    StateReader readState_;
    QByteArray glyphs_;
    QHttpServer http_;
    LimitedTcpServer* tcp_ = nullptr;
    QHostAddress address_;
    quint16 port_ = 0;
    QByteArray page_;
    QByteArray last_;
    std::vector<Client> clients_;
};

ServerInterface* makeServer(ServerInterface::StateReader readState, const QByteArray& glyphs)
{
    return new Server(std::move(readState), glyphs);
}

} // namespace web
