#pragma once
// The sign on a web page, for a stream overlay, a tablet or a second screen:
// an HTTP and WebSocket server from Qt's own modules that serves the page
// compiled into the program and pushes each change of the state to every
// page connected. Read-only: nothing a client sends changes the simulator.
// It listens on the loopback address unless the user names another, answers
// only requests addressed to that address (a page of a foreign site that a
// name of its own points here is refused), and bounds what a client can
// cost: the number of connections, the bytes waiting for a client that does
// not read, and the size of what it sends.

#include "webserver.h"

#include <snapshot.h>

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace state {
class Feed;
}

namespace web {

// The state that the pages show and scripts read, from the simulator's
// snapshot, with the names the door's properties have.
QJsonObject stateOf(const state::Snapshot& now);

// The glyphs of the sign's font, keyed by the character they show, as the
// page draws them: five column masks each, bit 0 the top row.
QJsonObject glyphTable();
// The panel and its dots as the sign window lays them out: sizes and
// pitches in the window's pixels, and the colours.
QJsonObject layoutTable();

class WebSign : public QObject {
    Q_OBJECT
public:
    using StateReader = ServerInterface::StateReader;
    explicit WebSign(StateReader readState, QObject* parent = nullptr);
    ~WebSign() override;

    // Loads the server's library and listens on `address` (empty: the
    // loopback address) and `port`; false, with the reason in German in
    // `error`, when the library is missing, the port is taken or the
    // address is not this machine's.
    bool listen(const QString& address, quint16 port, QString* error);
    // Where the page is served: http://address:port/
    QUrl url() const;
    // Listening on every address, the other addresses of the page a tablet
    // on the network can use.
    QStringList otherUrls() const;
    int clientCount() const;
    // TCP connections held: pages being loaded and WebSockets.
    int connectionCount() const;

    // Reads the state and sends it to every client, when it differs from
    // what was sent last.
    void publish();
    // Publishes every change the feed reports.
    void follow(state::Feed& feed);

    // The address asked for, as it was written ("127.0.0.1" for the
    // loopback address asked by leaving it empty).
    QString address() const { return address_; }

private:
    StateReader readState_;
    std::unique_ptr<ServerInterface> server_;
    QString address_;
};

// Starts the web sign for the program, once, following the feed; asked
// again, answers where it is served. `address` empty means the loopback
// address, `port` 0 the usual one. The answer is the page's address, or the
// one German line saying why there is none.
struct Answer {
    bool served = false;
    QString text;
};
Answer serve(std::unique_ptr<WebSign>& sign, state::Feed& feed, const QString& address, uint port);

} // namespace web
