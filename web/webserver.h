#pragma once
// What the program and the web sign's server library share: the server's
// bounds and the one function the library exports. The program reaches the
// server only through this interface and a symbol looked up at run time,
// so that it links none of the network libraries.

#include <QByteArray>
class QHostAddress;
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace web {

inline constexpr quint16 DefaultPort = 8733;
// WebSocket clients at once; one more is refused.
inline constexpr int MaxClients = 64;
// TCP connections at once, pages being loaded and WebSockets together; one
// more is closed as it arrives.
inline constexpr int MaxConnections = MaxClients + 16;
// Bytes queued for one client that does not read; past this it is dropped.
inline constexpr qint64 MaxQueuedBytes = 256 * 1024;
// A connection that has not become a WebSocket is closed after this long.
inline constexpr int HttpConnectionMs = 10'000;
// What a client may send in one frame or message (it has nothing to say).
inline constexpr quint64 MaxIncomingBytes = 1024;
// The header of one request; a longer one is answered 431 and closed. The
// sign takes no request bodies at all: one announced is answered 413.
inline constexpr qsizetype MaxHeaderBytes = 8 * 1024;
// Every so often each WebSocket client is pinged; one that has answered
// nothing for longer (its computer asleep, its network gone) is dropped.
inline constexpr int HeartbeatMs = 5'000;
inline constexpr int SilentClientMs = 15'000;
// The version of the messages and of the state endpoint; later versions
// only add fields.
inline constexpr int MessageVersion = 1;

class ServerInterface : public QObject {
public:
    using StateReader = std::function<QJsonObject()>;
    ~ServerInterface() override = default;
    // Listens on `address` (empty: the loopback address) and `port`; false,
    // with the reason in German in `error`, when the port is taken or the
    // address is not this machine's.
    virtual bool listen(const QString& address, quint16 port, QString* error) = 0;
    // Where the page is served: http://address:port/
    virtual QUrl url() const = 0;
    // Listening on every address, the others a tablet on the network can
    // use: the machine's name, NAME.local, and its addresses but loopback
    // and link-local ones. Empty otherwise.
    virtual QStringList otherUrls() const = 0;
    virtual int clientCount() const = 0;
    // TCP connections the server holds: pages being loaded and WebSockets.
    virtual int connectionCount() const = 0;
    // Reads the state and sends it to every client, when it differs from
    // what was sent last.
    virtual void publish() = 0;
};

// The server, serving the page with `glyphs` and `layout` (the sign's glyph
// table and the layout of its panel, as JSON) and the state `readState`
// gives.
ServerInterface* makeServer(ServerInterface::StateReader readState, const QByteArray& glyphs,
                            const QByteArray& layout);
using MakeServer = ServerInterface* (*)(ServerInterface::StateReader readState, const QByteArray& glyphs,
                                        const QByteArray& layout);
// The name under which the library exports makeServer.
inline constexpr char MakeServerSymbol[] = "pendralumovista_web_server_2";

// Whether `host`, the Host header of a request, names the address served:
// the address itself, or "localhost" when that is the loopback address,
// with the port. A name that some DNS points here (the trick a foreign page
// plays to read a local server) is refused. Listening on every address, any
// address of this machine will do, and so will "localhost", the machine's
// own name and NAME.local. Any bytes a client sends are fine here.
bool hostServed(const QByteArray& host, const QHostAddress& address, quint16 port);

} // namespace web
