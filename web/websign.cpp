#include "websign.h"

#include "webserver.h"

#include <busdoor.h>
#include <font.h>
#include <startup.h>
#include <statefeed.h>
#include <text.h>

#include <Pendralumovista2.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLibrary>

namespace web {

namespace {

// No text of the state is longer than this many characters on the web: a
// stop file may hold a line of a megabyte, the sign shows 20 characters.
constexpr qsizetype LongestText = 1024;

QString bounded(QString text)
{
    text.truncate(LongestText);
    return text;
}

QJsonArray boundedList(const QStringList& texts)
{
    QJsonArray list;
    for (const QString& text : texts)
        list.append(bounded(text));
    return list;
}

// The names of the door's properties, as the web gives them.
QJsonValue property(const TForm2& unit, const char* name)
{
    return QJsonValue::fromVariant(bus::readProperty(unit, name));
}

// The server's library, loaded once, on the first request for the web sign:
// a start without --web loads none of the network libraries. It lies in
// lib/pendralumovista beside the program's bin folder, installed or in the
// build folder, found from wherever the program runs.
MakeServer serverFactory(QString* error)
{
    static MakeServer factory = nullptr;
    if (factory)
        return factory;
    QLibrary library(QCoreApplication::applicationDirPath() + QStringLiteral("/../lib/pendralumovista/pendralumovista-web"));
    factory = reinterpret_cast<MakeServer>(library.resolve(MakeServerSymbol));
    if (!factory && error)
        *error = QStringLiteral("Das Schild im Browser lässt sich nicht laden (%1); es bleibt aus.")
                     .arg(library.errorString().left(300));
    return factory;
}

} // namespace

QJsonObject stateOf(const TForm2& unit)
{
    QJsonObject state;
    state.insert(QStringLiteral("signText"), bounded(bus::readProperty(unit, "SignText").toString()));
    state.insert(QStringLiteral("signPages"), boundedList(bus::readProperty(unit, "SignPages").toStringList()));
    state.insert(QStringLiteral("signPageShown"), property(unit, "SignPageShown"));
    const auto stop = bus::readProperty(unit, "CurrentStop").value<bus::StopOnRoute>();
    state.insert(QStringLiteral("currentStop"),
                 QJsonObject{{QStringLiteral("number"), int(stop.index)}, {QStringLiteral("name"), bounded(stop.name)}});
    state.insert(QStringLiteral("line"), bounded(bus::readProperty(unit, "Line").toString()));
    state.insert(QStringLiteral("destination"), bounded(bus::readProperty(unit, "Destination").toString()));
    state.insert(QStringLiteral("lineDestinationText"),
                 bounded(bus::readProperty(unit, "LineDestinationText").toString()));
    state.insert(QStringLiteral("displayOn"), property(unit, "DisplayOn"));
    state.insert(QStringLiteral("autoAdvance"), property(unit, "AutoAdvance"));
    state.insert(QStringLiteral("showLineDestination"), property(unit, "ShowLineDestination"));
    return state;
}

QJsonObject glyphTable()
{
    QJsonObject table;
    for (const font::Glyph& glyph : font::glyphs) {
        QJsonArray columns;
        for (const std::uint16_t column : glyph.columns)
            columns.append(int(column));
        table.insert(tk::toQString(std::string(1, char(glyph.code))), columns);
    }
    return table;
}

WebSign::WebSign(StateReader readState, QObject* parent) : QObject(parent), readState_(std::move(readState)) {}

WebSign::~WebSign() = default;

bool WebSign::listen(const QString& address, quint16 port, QString* error)
{
    if (!server_) {
        const MakeServer make = serverFactory(error);
        if (!make)
            return false;
        server_.reset(make(readState_, QJsonDocument(glyphTable()).toJson(QJsonDocument::Compact)));
    }
    return server_->listen(address, port, error);
}

QUrl WebSign::url() const
{
    return server_ ? server_->url() : QUrl();
}

int WebSign::clientCount() const
{
    return server_ ? server_->clientCount() : 0;
}

int WebSign::connectionCount() const
{
    return server_ ? server_->connectionCount() : 0;
}

void WebSign::publish()
{
    if (server_)
        server_->publish();
}

Answer serve(std::unique_ptr<WebSign>& sign, StateFeed& feed, const QString& address, uint port)
{
    if (sign)
        return {true, sign->url().toString()};
    if (port > 65535)
        return {false, QStringLiteral("Port %1 gibt es nicht (1 bis 65535); das Schild im Browser bleibt aus.").arg(port)};
    TForm2& unit = feed.windows().controlUnit();
    auto started = std::make_unique<WebSign>([&unit] { return stateOf(unit); });
    QString error;
    if (!started->listen(address, port ? quint16(port) : DefaultPort, &error))
        return {false, error};
    started->follow(feed);
    started->publish();
    sign = std::move(started);
    return {true, sign->url().toString()};
}

void WebSign::follow(StateFeed& feed)
{
    connect(&feed, &StateFeed::changed, this, [this] { publish(); });
}

} // namespace web
