#include "websign.h"

#include "webserver.h"

#include <feed.h>
#include <Pendralumovista1.h>
#include <controls.h>
#include <font.h>
#include <text.h>

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

// Text of the program as the web carries it: a NUL reads as U+FFFD, as on
// the clipboard and the bus, and no text is longer than LongestText.
QString webText(const tk::Text& text)
{
    return bounded(tk::toQString(text).replace(QChar(0), QChar::ReplacementCharacter));
}

QJsonArray webTexts(const std::vector<tk::Text>& texts)
{
    QJsonArray list;
    for (const tk::Text& text : texts)
        list.append(webText(text));
    return list;
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

QJsonObject stateOf(const state::Snapshot& now)
{
    QJsonObject state;
    state.insert(QStringLiteral("signText"), webText(now.signText));
    state.insert(QStringLiteral("signPages"), webTexts(now.signPages));
    state.insert(QStringLiteral("signPageShown"), now.signPageShown);
    state.insert(QStringLiteral("currentStop"), QJsonObject{{QStringLiteral("number"), int(now.currentStop)},
                                                            {QStringLiteral("name"), webText(now.currentStopName)}});
    state.insert(QStringLiteral("line"), webText(now.line));
    state.insert(QStringLiteral("destination"), webText(now.destination));
    state.insert(QStringLiteral("lineDestinationText"), webText(now.lineDestinationText));
    state.insert(QStringLiteral("displayOn"), now.displayOn);
    state.insert(QStringLiteral("autoAdvance"), now.autoAdvance);
    state.insert(QStringLiteral("showLineDestination"), now.showLineDestination);
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

QJsonObject layoutTable()
{
    const auto css = [](tk::Color color) { return tk::toQColor(color).name(); };
    return {{QStringLiteral("panelWidth"), TForm1::PanelWidth},   {QStringLiteral("panelHeight"), TForm1::PanelHeight},
            {QStringLiteral("cells"), TForm1::CellCount},          {QStringLiteral("columns"), font::Columns},
            {QStringLiteral("rows"), font::Rows},                  {QStringLiteral("cellPitch"), TForm1::CellPitch},
            {QStringLiteral("dotPitch"), TForm1::DotPitch},        {QStringLiteral("edge"), TForm1::PanelEdge},
            {QStringLiteral("lit"), css(TForm1::LitColor)},        {QStringLiteral("dark"), css(TForm1::DarkColor)},
            {QStringLiteral("panel"), css(TForm1::PanelColor)}};
}

WebSign::WebSign(StateReader readState, QObject* parent) : QObject(parent), readState_(std::move(readState)) {}

WebSign::~WebSign() = default;

bool WebSign::listen(const QString& address, quint16 port, QString* error)
{
    if (!server_) {
        const MakeServer make = serverFactory(error);
        if (!make)
            return false;
        server_.reset(make(readState_, QJsonDocument(glyphTable()).toJson(QJsonDocument::Compact),
                           QJsonDocument(layoutTable()).toJson(QJsonDocument::Compact)));
    }
    if (!server_->listen(address, port, error))
        return false;
    address_ = address.isEmpty() ? QStringLiteral("127.0.0.1") : address;
    return true;
}

QUrl WebSign::url() const
{
    return server_ ? server_->url() : QUrl();
}

QStringList WebSign::otherUrls() const
{
    return server_ ? server_->otherUrls() : QStringList();
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

Answer serve(std::unique_ptr<WebSign>& sign, state::Feed& feed, const QString& address, uint port)
{
    if (sign) {
        // Asked again, by a second start or over the bus: the sign served is
        // the answer, unless another port or address was asked for, which
        // this one is not.
        const bool otherPort = port != 0 && int(port) != sign->url().port();
        const bool otherAddress = !address.isEmpty() && address != sign->address();
        if (otherPort || otherAddress)
            return {false, QStringLiteral("Das Schild im Browser läuft schon, unter %1; auf %2 Port %3 gibt es kein "
                                          "zweites.")
                               .arg(sign->url().toString(), (address.isEmpty() ? sign->address() : address).left(64))
                               .arg(port ? port : uint(sign->url().port()))};
        return {true, sign->url().toString()};
    }
    if (port > 65535)
        return {false, QStringLiteral("Port %1 gibt es nicht (1 bis 65535); das Schild im Browser bleibt aus.").arg(port)};
    // A page that connects reads the windows as they are at that moment.
    auto started = std::make_unique<WebSign>([&feed] { return stateOf(feed.readNow()); });
    QString error;
    if (!started->listen(address, port ? quint16(port) : DefaultPort, &error))
        return {false, error};
    started->follow(feed);
    started->publish();
    sign = std::move(started);
    return {true, sign->url().toString()};
}

void WebSign::follow(state::Feed& feed)
{
    connect(&feed, &state::Feed::changed, this, [this] { publish(); });
}

} // namespace web
