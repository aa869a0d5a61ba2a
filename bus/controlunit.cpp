#include "controlunit.h"

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <feed.h>
#include <keytable.h>

#include <text.h>
#include <timer.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <QUrl>
#include <QVariantMap>
#include <QWidget>

#include <cstdio>
#include <utility>

namespace bus {

QDBusArgument& operator<<(QDBusArgument& argument, const StopOnRoute& stop)
{
    argument.beginStructure();
    argument << stop.index << stop.name;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StopOnRoute& stop)
{
    argument.beginStructure();
    argument >> stop.index >> stop.name;
    argument.endStructure();
    return argument;
}

namespace {

// Everything that arrives from the bus is bounded before it is used.
// A key name is a short word; a longer one is not echoed whole.
constexpr qsizetype LongestKeyName = 16;
// The input boxes take at most 255 characters.
constexpr qsizetype InputBoxLimit = 255;
// One character more than the longest path the system opens: a path cut to
// this length is refused by the reader exactly as the whole one would be.
constexpr qsizetype PathLimit = 4096 + 1;
constexpr qsizetype LongestUri = 3 * PathLimit;

const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString ApplicationInterface = QStringLiteral("org.freedesktop.Application");
const QString InvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");

// The actions of the menu entry, each a key of the unit. The arrows step
// through the stops only in the standard view; on a menu page they would
// turn the page, which is no "next stop".
struct Action {
    const char* name;
    const char* key;
    bool standardViewOnly;
};

const Action actions[] = {
    {"next-stop", "down", true},
    {"previous-stop", "up", true},
    {"toggle-display", "Anzeige", false},
};

QString errorName(const char* what)
{
    return QLatin1String(ErrorPrefix) + QLatin1String(what);
}

// A word from the caller, quoted in a message: short, or cut.
QString quoted(const QString& word, qsizetype longest = LongestKeyName)
{
    return QStringLiteral("„%1“").arg(word.size() <= longest ? word : word.left(longest) + u'…');
}

// Text of the unit as the bus carries it. The bus cannot carry a NUL: it
// travels as U+FFFD, as it does to the clipboard, so that a name reads the
// same everywhere instead of ending early in some places.
QString busText(const tk::Text& text)
{
    return tk::toQString(text).replace(QChar(0), QChar::ReplacementCharacter);
}

// What no input box lets anyone type: control characters.
bool typeable(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() < 0xa0))
            return false;
    return true;
}

void raise(QWidget& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

QString xDisplay()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    return QString::fromLocal8Bit(qgetenv("DISPLAY"));
}

namespace {

// ---- what the door publishes ----

QStringList busTexts(const std::vector<tk::Text>& texts)
{
    QStringList list;
    list.reserve(qsizetype(texts.size()));
    for (const tk::Text& text : texts)
        list << busText(text);
    return list;
}

// A property and how it reads the snapshot; its type and documentation are
// in the interface file.
struct Property {
    const char* name;
    QVariant (*value)(const state::Snapshot& state);
};

const Property properties[] = {
    {"Version", [](const state::Snapshot&) { return QVariant::fromValue(uint(InterfaceVersion)); }},
    {"SignText", [](const state::Snapshot& state) { return QVariant(busText(state.signText)); }},
    {"SignPages", [](const state::Snapshot& state) { return QVariant(busTexts(state.signPages)); }},
    {"SignPageShown", [](const state::Snapshot& state) { return QVariant(state.signPageShown); }},
    {"CurrentStop", [](const state::Snapshot& state) {
         return QVariant::fromValue(StopOnRoute{state.currentStop, busText(state.currentStopName)});
     }},
    {"RouteLoaded", [](const state::Snapshot& state) { return QVariant(state.routeLoaded); }},
    {"StopCount", [](const state::Snapshot& state) { return QVariant::fromValue(uint(state.stops.size())); }},
    {"Stops", [](const state::Snapshot& state) { return QVariant(busTexts(state.stops)); }},
    {"Line", [](const state::Snapshot& state) { return QVariant(busText(state.line)); }},
    {"Destination", [](const state::Snapshot& state) { return QVariant(busText(state.destination)); }},
    {"LineDestinationText", [](const state::Snapshot& state) { return QVariant(busText(state.lineDestinationText)); }},
    {"Direction", [](const state::Snapshot& state) { return QVariant(state.directionB ? QStringLiteral("B") : QStringLiteral("A")); }},
    {"DisplayOn", [](const state::Snapshot& state) { return QVariant(state.displayOn); }},
    {"AutoAdvance", [](const state::Snapshot& state) { return QVariant(state.autoAdvance); }},
    {"MenuPage", [](const state::Snapshot& state) { return QVariant::fromValue(uchar(state.menuPage)); }},
    {"EntryMode", [](const state::Snapshot& state) { return QVariant::fromValue(uchar(state.entryMode)); }},
    {"DisplayTitle", [](const state::Snapshot& state) { return QVariant(busTexts(state.displayTitle)); }},
    {"DisplayLines", [](const state::Snapshot& state) { return QVariant(busTexts(state.displayLines)); }},
    {"ShowLineDestination", [](const state::Snapshot& state) { return QVariant(state.showLineDestination); }},
    {"FallBackDelaySeconds", [](const state::Snapshot& state) { return QVariant::fromValue(uint(state.fallBackDelaySeconds)); }},
    {"AutoIntervalSeconds", [](const state::Snapshot& state) { return QVariant(state.autoIntervalSeconds); }},
    {"AutoScatterSeconds", [](const state::Snapshot& state) { return QVariant(state.autoScatterSeconds); }},
    {"DialogOpen", [](const state::Snapshot& state) { return QVariant(state.dialogOpen); }},
    {"IbisConnected", [](const state::Snapshot& state) { return QVariant(state.ibisConnected); }},
    {"Keys", [](const state::Snapshot&) { return QVariant(keyNames()); }},
    {"Display", [](const state::Snapshot&) { return QVariant(xDisplay()); }},
};

const Property* findProperty(const QString& name)
{
    for (const Property& property : properties)
        if (name == QLatin1String(property.name))
            return &property;
    return nullptr;
}

// The longest address a caller may name for the web sign: an IPv6 address
// with a scope is well below it.
constexpr qsizetype LongestAddress = 64;

// ---- what the door takes ----

class Call;

// A method and the arguments it takes, as a D-Bus signature; its
// documentation and argument names are in the interface file.
struct Method {
    const char* interface;
    const char* name;
    const char* signature;
    void (*run)(Call& call);
};

// The door's description of itself, from the interface file compiled in:
// what a caller and a code generator read is the file in the tree.
const QString& introspection()
{
    static const QString xml = [] {
        QFile file(QStringLiteral(":/bus/io.github.pendralumovista.Pendralumovista.xml"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }();
    return xml;
}

} // namespace

TForm2& DoorObject::unit() const
{
    return feed_->unit();
}

TForm1& DoorObject::sign() const
{
    return feed_->sign();
}

state::Snapshot DoorObject::readNow() const
{
    return feed_->readNow();
}

void DoorObject::publishChanges()
{
    if (feed_)
        feed_->changedNow();
}

void DoorObject::serve(state::Feed& feed)
{
    // What it publishes first is what the windows show when it starts.
    feed.changedNow();
    feed_ = &feed;
    connect(&feed, &state::Feed::changed, this,
            [this](const state::Snapshot& now, const state::Snapshot& before) { publishChanged(now, &before); });
    connect(&feed, &state::Feed::announced, this, [this](const tk::Text& sentence) { sendAnnounced(sentence); });
    publishChanged(feed.current(), nullptr);
}

// Sends PropertiesChanged with every property that differs from `before`
// (all of them without one); a client that reads its cached properties on
// Announced then sees the stop announced.
void DoorObject::publishChanged(const state::Snapshot& now, const state::Snapshot* before)
{
    QVariantMap changed;
    for (const Property& property : properties) {
        QVariant value = property.value(now);
        if (!before || value != property.value(*before))
            changed.insert(QLatin1String(property.name), std::move(value));
    }
    if (!changed.isEmpty()) {
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath), PropertiesInterface,
                                                         QStringLiteral("PropertiesChanged"));
        signal << QString::fromLatin1(ControlUnitInterface) << changed << QStringList();
        bus_.send(signal);
    }
}

void DoorObject::sendAnnounced(const tk::Text& sentence)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                     QString::fromLatin1(ControlUnitInterface),
                                                     QStringLiteral("Announced"));
    signal << busText(sentence);
    bus_.send(signal);
}

namespace {

// One call being served, with what answering it takes.
class Call {
public:
    Call(DoorObject& door, const QDBusMessage& message) : door_(door), message_(message) {}

    TForm2& unit() const { return door_.unit(); }
    DoorObject& door() const { return door_; }
    QVariant argument(int i) const { return message_.arguments().value(i); }
    QString text(int i) const { return argument(i).toString(); }

    void reply(const QVariantList& values = {})
    {
        QDBusMessage answer = message_.createReply(values);
        door_.bus().send(answer);
        answered_ = true;
    }
    void refuse(const QString& name, const QString& message)
    {
        door_.bus().send(message_.createErrorReply(name, message));
        answered_ = true;
    }
    bool answered() const { return answered_; }

    // While a modal dialog of the program is open (the file dialog, an
    // input box, a message box), a click on the control unit does nothing;
    // nor does a call. Otherwise a second dialog could open inside the first.
    bool refusedWhileDialogOpen()
    {
        if (!QApplication::activeModalWidget())
            return false;
        refuse(errorName("DialogOpen"), QStringLiteral("Ein Dialog des Simulators ist offen; solange er offen ist, "
                                                       "nimmt das Bediengerät nichts an."));
        return true;
    }

    // The caller has its answer before the key acts: a key may open a modal
    // dialog that waits for the operator, and the caller must not wait with
    // it. Its next call comes after the press all the same, since calls are
    // taken one at a time on this thread.
    void press(const keys::Key& key)
    {
        reply();
        keys::press(unit(), key);
        door_.publishChanges();
    }

    // What choosing the file in the load dialog does; a refusal is an error
    // a program can tell apart, with a German message.
    void load(QString path)
    {
        if (path.contains(QChar(0)))
            return refuse(InvalidArgs, QStringLiteral("Ein Pfad enthält kein Nullzeichen."));
        // A path cut short would name another file, or a folder: longer
        // than any this system can open, it is refused as it is.
        if (path.size() >= PathLimit)
            return refuse(InvalidArgs, QStringLiteral("Der Pfad ist zu lang (%1 Zeichen, höchstens %2).")
                                           .arg(path.size())
                                           .arg(PathLimit - 1));
        if (!QDir::isAbsolutePath(path))
            return refuse(InvalidArgs, QStringLiteral("Der Pfad muss vollständig sein, mit / am Anfang."));
        TForm2::LoadFailure failure = TForm2::LoadFailure::None;
        const tk::Text refusal = unit().loadStopFile(path, &failure);
        const QString name = quoted(QFileInfo(path).fileName(), 64);
        switch (failure) {
        case TForm2::LoadFailure::None:
            reply();
            break;
        case TForm2::LoadFailure::NotFound:
            refuse(errorName("NotFound"), QStringLiteral("Die Datei %1 gibt es nicht.").arg(name));
            break;
        case TForm2::LoadFailure::Folder:
            refuse(errorName("NotAStopFile"), QStringLiteral("%1 ist ein Ordner, keine Datei.").arg(name));
            break;
        case TForm2::LoadFailure::NotReadable:
            refuse(errorName("NotReadable"), QStringLiteral("Die Datei %1 lässt sich nicht lesen.").arg(name));
            break;
        case TForm2::LoadFailure::NotAStopFile:
            refuse(errorName("NotAStopFile"), busText(refusal));
            break;
        }
        door_.publishChanges();
    }

private:
    DoorObject& door_;
    const QDBusMessage& message_;
    bool answered_ = false;
};

void pressKey(Call& call)
{
    const keys::Key* key = keys::find(call.text(0));
    if (!key)
        return call.refuse(errorName("UnknownKey"), QStringLiteral("Unbekannte Taste %1; die Tasten heißen: %2")
                                                        .arg(quoted(call.text(0)), keyNames().join(u' ')));
    if (!call.refusedWhileDialogOpen())
        call.press(*key);
}

void setLineDestination(Call& call)
{
    const QString line = call.text(0), destination = call.text(1);
    if (!typeable(line) || !typeable(destination))
        return call.refuse(InvalidArgs, QStringLiteral("Linie und Ziel enthalten keine Steuerzeichen: die "
                                                       "Eingabefelder nehmen keine an."));
    if (call.refusedWhileDialogOpen())
        return;
    call.unit().setLineDestination(tk::fromQString(line.left(InputBoxLimit)),
                                   tk::fromQString(destination.left(InputBoxLimit)));
    call.reply();
    call.door().publishChanges();
}

void loadStops(Call& call)
{
    if (!call.refusedWhileDialogOpen())
        call.load(call.text(0));
}

// "C", the digits, "M": the stop-number entry, key by key.
void callStop(Call& call)
{
    const uint number = call.argument(0).toUInt();
    TForm2& unit = call.unit();
    if (call.refusedWhileDialogOpen())
        return;
    if (!unit.StopsLoaded || unit.StopCount == 0)
        return call.refuse(errorName("NoRoute"), QStringLiteral("Es ist kein Haltestellensatz geladen."));
    if (number >= unit.StopCount)
        return call.refuse(InvalidArgs, QStringLiteral("Die Haltestellen sind von 0 bis %1 nummeriert, %2 gibt es "
                                                       "nicht.")
                                            .arg(unit.StopCount - 1)
                                            .arg(number));
    if (unit.EntryMode != 0)
        return call.refuse(errorName("SettingOpen"),
                           QStringLiteral("Auf dem Tastenfeld wird eine Zeit eingestellt; erst mit M abschließen."));
    call.reply();
    keys::press(unit, *keys::find(QStringLiteral("C")));
    for (const QChar digit : QString::number(number))
        keys::press(unit, *keys::find(QString(digit)));
    keys::press(unit, *keys::find(QStringLiteral("M")));
    call.door().publishChanges();
}

void reverseDirection(Call& call)
{
    if (call.refusedWhileDialogOpen())
        return;
    call.reply();
    call.unit().Label7DblClick();
    call.door().publishChanges();
}

void serveWeb(Call& call)
{
    const QString address = call.text(0);
    const uint port = call.argument(1).toUInt();
    if (address.size() > LongestAddress || !typeable(address))
        return call.refuse(InvalidArgs, QStringLiteral("Das ist keine Adresse: %1").arg(quoted(address)));
    if (!call.door().webRequest)
        return call.refuse(errorName("WebUnavailable"),
                           QStringLiteral("Dieser Simulator kann das Schild nicht im Browser zeigen."));
    const WebAnswer answer = call.door().webRequest(address, port);
    if (!answer.served)
        return call.refuse(errorName("WebUnavailable"), answer.text);
    call.reply({answer.text});
}

void activate(Call& call)
{
    const QVariantMap platformData = qdbus_cast<QVariantMap>(call.argument(0));
    call.reply();
    DoorObject& door = call.door();
    // The token of the launcher that asked, so that the window manager lets
    // the windows come to the front.
    const QString token = platformData.value(QStringLiteral("activation-token"),
                                             platformData.value(QStringLiteral("desktop-startup-id")))
                              .toString()
                              .left(256);
    for (QWidget* window : {static_cast<QWidget*>(&door.sign()), static_cast<QWidget*>(&door.unit())}) {
        if (door.markActivation && typeable(token))
            door.markActivation(*window, token.toLatin1());
        raise(*window);
    }
}

// The first file, as a stop file.
void open(Call& call)
{
    const QStringList uris = qdbus_cast<QStringList>(call.argument(0));
    if (uris.isEmpty())
        return call.refuse(InvalidArgs, QStringLiteral("Open braucht eine Datei."));
    const QUrl url(uris.first().left(LongestUri));
    const bool local = url.scheme() == QLatin1String("file")
                       && (url.host().isEmpty() || url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0);
    if (!local)
        return call.refuse(InvalidArgs, QStringLiteral("Nur eine Datei dieses Rechners (file:///…) wird geöffnet."));
    if (!call.refusedWhileDialogOpen())
        call.load(url.path(QUrl::FullyDecoded));
}

void activateAction(Call& call)
{
    const QString name = call.text(0);
    for (const Action& action : actions)
        if (name == QLatin1String(action.name)) {
            if (call.refusedWhileDialogOpen())
                return;
            if (action.standardViewOnly && call.unit().MenuPage != 0)
                return call.refuse(errorName("NotInStandardView"),
                                   QStringLiteral("Das Bediengerät zeigt das Menü; dort blättern die Pfeile, statt "
                                                  "Haltestellen aufzurufen. Erst Menü drücken."));
            return call.press(*keys::find(QLatin1String(action.key)));
        }
    QStringList names;
    for (const Action& action : actions)
        names << QLatin1String(action.name);
    call.refuse(errorName("UnknownAction"),
                QStringLiteral("Unbekannte Aktion %1; die Aktionen heißen: %2").arg(quoted(name), names.join(u' ')));
}

const Method methods[] = {
    {ControlUnitInterface, "PressKey", "s", pressKey},
    {ControlUnitInterface, "SetLineDestination", "ss", setLineDestination},
    {ControlUnitInterface, "LoadStops", "s", loadStops},
    {ControlUnitInterface, "CallStop", "u", callStop},
    {ControlUnitInterface, "ReverseDirection", "", reverseDirection},
    {ControlUnitInterface, "ServeWeb", "sq", serveWeb},
    {"org.freedesktop.Application", "Activate", "a{sv}", activate},
    {"org.freedesktop.Application", "Open", "asa{sv}", open},
    {"org.freedesktop.Application", "ActivateAction", "sava{sv}", activateAction},
};

} // namespace

QStringList keyNames()
{
    return keys::names();
}

bool isKeyName(const QString& name)
{
    return keys::find(name) != nullptr;
}

QString DoorObject::introspect(const QString&) const
{
    // The object's own interfaces, without the standard ones the whole
    // answer names first.
    const QString& xml = introspection();
    const qsizetype start = xml.indexOf(QStringLiteral("  <interface name=\"%1\">").arg(QLatin1String(ControlUnitInterface)));
    const qsizetype end = xml.lastIndexOf(QStringLiteral("</node>"));
    return start < 0 || end < start ? QString() : xml.mid(start, end - start);
}

bool DoorObject::handleMessage(const QDBusMessage& message, const QDBusConnection&)
{
    if (message.type() != QDBusMessage::MethodCallMessage)
        return false;
    const QString interface = message.interface(), member = message.member();
    Call call(*this, message);
    auto wrongArguments = [&](const QString& expected) {
        call.refuse(InvalidArgs, QStringLiteral("%1 erwartet die Argumente (%2), nicht (%3).")
                                     .arg(member, expected, message.signature()));
    };
    if (interface == QLatin1String("org.freedesktop.DBus.Introspectable") && member == QLatin1String("Introspect")) {
        call.reply({introspection()});
        return true;
    }
    if (interface == PropertiesInterface) {
        const QString ofInterface = call.text(0);
        const bool ours = ofInterface == QLatin1String(ControlUnitInterface);
        if (member == QLatin1String("Get")) {
            if (message.signature() != QLatin1String("ss"))
                return wrongArguments(QStringLiteral("ss")), true;
            const Property* property = ours ? findProperty(call.text(1)) : nullptr;
            if (!property || !serving())
                call.refuse(QStringLiteral("org.freedesktop.DBus.Error.UnknownProperty"),
                            QStringLiteral("Keine Eigenschaft %1 in %2.").arg(quoted(call.text(1)), ofInterface.left(64)));
            else
                call.reply({QVariant::fromValue(QDBusVariant(property->value(readNow())))});
        } else if (member == QLatin1String("GetAll")) {
            if (message.signature() != QLatin1String("s"))
                return wrongArguments(QStringLiteral("s")), true;
            QVariantMap all;
            if (ours && serving()) {
                const state::Snapshot now = readNow();
                for (const Property& property : properties)
                    all.insert(QLatin1String(property.name), property.value(now));
            }
            call.reply({all});
        } else if (member == QLatin1String("Set")) {
            call.refuse(QStringLiteral("org.freedesktop.DBus.Error.PropertyReadOnly"),
                        QStringLiteral("Die Eigenschaften sind nur zu lesen; das Bediengerät ändert sich über seine "
                                       "Tasten."));
        } else {
            call.refuse(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                        QStringLiteral("Keine Methode %1.").arg(quoted(member, 64)));
        }
        return true;
    }
    for (const Method& method : methods) {
        if (member != QLatin1String(method.name) || (!interface.isEmpty() && interface != QLatin1String(method.interface)))
            continue;
        if (message.signature() != QLatin1String(method.signature))
            return wrongArguments(QLatin1String(method.signature)), true;
        if (!serving())
            return call.refuse(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                               QStringLiteral("Der Simulator startet noch.")),
                   true;
        method.run(call);
        if (!call.answered())
            call.reply();
        return true;
    }
    call.refuse(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                QStringLiteral("Keine Methode %1 in %2.").arg(quoted(member, 64), interface.left(64)));
    return true;
}

} // namespace bus
