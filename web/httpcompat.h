#pragma once
// The few places where Qt HTTP Server's interface changed between Qt 6.4
// (Debian 12) and Qt 6.8 (Debian 13), where the module left its technology
// preview: response headers became a QHttpHeaders, handlers take the
// responder by reference, the missing handler needs a context object, and a
// WebSocket upgrade is refused unless a verifier accepts it. The server is
// written once against this header.

#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QtGlobal>

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QHttpHeaders>
#include <QHttpServerWebSocketUpgradeResponse>
#endif

#include <utility>

namespace web::compat {

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
// What a route or the missing handler is handed to answer with.
using Responder = QHttpServerResponder&;
#else
using Responder = QHttpServerResponder&&;
#endif

// Sets one header of a response, replacing a header of that name.
inline void setHeader(QHttpServerResponse& response, const char* name, const char* value)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QHttpHeaders headers = response.headers();
    headers.replaceOrAppend(QLatin1StringView(name), QLatin1StringView(value));
    response.setHeaders(std::move(headers));
#else
    response.setHeader(QByteArray(name), QByteArray(value));
#endif
}

// The port the request came from, where the request tells it (from Qt 6.5
// on); 0 where it does not, and the connection is found another way.
inline quint16 remotePort(const QHttpServerRequest& request)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return request.remotePort();
#else
    Q_UNUSED(request);
    return 0;
#endif
}

// Answers every request that no route takes with `handler(request, responder)`.
template <typename Handler>
void setMissingHandler(QHttpServer& server, QObject* context, Handler handler)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    server.setMissingHandler(context, std::move(handler));
#else
    Q_UNUSED(context);
    server.setMissingHandler(std::move(handler));
#endif
}

// Lets `accepted(request)` decide on each WebSocket upgrade before it
// happens, where the library asks (Qt 6.8); a refused one is answered with
// `status` and `message`. Qt 6.4 asks nothing: the upgraded socket is
// checked once it arrives.
template <typename Check>
void verifyUpgrades(QHttpServer& server, QObject* context, Check accepted, int status, const QByteArray& message)
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    server.addWebSocketUpgradeVerifier(context, [accepted = std::move(accepted), status, message](
                                                    const QHttpServerRequest& request) {
        return accepted(request) ? QHttpServerWebSocketUpgradeResponse::accept()
                                 : QHttpServerWebSocketUpgradeResponse::deny(status, message);
    });
#else
    Q_UNUSED(server);
    Q_UNUSED(context);
    Q_UNUSED(accepted);
    Q_UNUSED(status);
    Q_UNUSED(message);
#endif
}

} // namespace web::compat
