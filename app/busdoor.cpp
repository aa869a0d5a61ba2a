#include "busdoor.h"

#include "startup.h"

#include <text.h>
#include <timer.h>

#include <QApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QUrl>
#include <QVariantMap>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace bus {

// The current stop as the bus carries it, (us): its number and its name.
struct StopOnRoute {
    uint index = 0;
    QString name;
    bool operator==(const StopOnRoute&) const = default;
};

} // namespace bus

Q_DECLARE_METATYPE(bus::StopOnRoute)

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
// A key name is a short word; a longer string is no key and is not echoed.
constexpr qsizetype LongestKeyName = 16;
// The input boxes take at most 255 characters.
constexpr qsizetype InputBoxLimit = 255;
// One character more than the longest path the system opens: a path cut to
// this length is refused by the reader exactly as the whole one would be.
constexpr qsizetype PathLimit = 4096 + 1;
constexpr qsizetype LongestUri = 3 * PathLimit;

// The keys of the control unit by the names a caller gives them: their
// captions or digits, and plain names for the keys that carry none. Each
// runs the handler its click runs.
struct Key {
    const char* name; // UTF-8
    void (*press)(TForm2& unit);
};

const Key keys[] = {
    {"0", [](TForm2& unit) { unit.Label00MouseDown(); }},
    {"1", [](TForm2& unit) { unit.Label01MouseDown(); }},
    {"2", [](TForm2& unit) { unit.Label02MouseDown(); }},
    {"3", [](TForm2& unit) { unit.Label03MouseDown(); }},
    {"4", [](TForm2& unit) { unit.Label04MouseDown(); }},
    {"5", [](TForm2& unit) { unit.Label05MouseDown(); }},
    {"6", [](TForm2& unit) { unit.Label06MouseDown(); }},
    {"7", [](TForm2& unit) { unit.Label07MouseDown(); }},
    {"8", [](TForm2& unit) { unit.Label08MouseDown(); }},
    {"9", [](TForm2& unit) { unit.Label09MouseDown(); }},
    {"C", [](TForm2& unit) { unit.Label0CMouseDown(); }},
    {"M", [](TForm2& unit) { unit.Label0MClick(); }},
    {"Menü", [](TForm2& unit) { unit.Label5Click(); }},
    {"Anzeige", [](TForm2& unit) { unit.Label6Click(); }},
    {"Auto", [](TForm2& unit) { unit.Label7Click(); }},
    {"Endstelle", [](TForm2& unit) { unit.Label9MouseDown(); }},
    {"Schließen", [](TForm2& unit) { unit.Label4Click(); }},
    {"up", [](TForm2& unit) { unit.Shape1MouseDown(); }},
    {"down", [](TForm2& unit) { unit.Shape2MouseDown(); }},
    {"soft1", [](TForm2& unit) { unit.Shape8MouseDown(); }},
    {"soft2", [](TForm2& unit) { unit.Shape9MouseDown(); }},
    {"soft3", [](TForm2& unit) { unit.Shape10MouseDown(); }},
};

// The actions of the menu entry, each a key of the unit.
struct Action {
    const char* name;
    const char* key;
};

const Action actions[] = {
    {"next-stop", "down"},
    {"previous-stop", "up"},
    {"toggle-display", "Anzeige"},
};

const Key* findKey(const QString& name)
{
    if (name.size() <= LongestKeyName)
        for (const Key& key : keys)
            if (name == QString::fromUtf8(key.name))
                return &key;
    return nullptr;
}

QString errorName(const char* what)
{
    return QString::fromLatin1(ApplicationId) + QStringLiteral(".Error.") + QLatin1String(what);
}

// A word from the caller, quoted in a message: short, or cut.
QString quoted(const QString& word)
{
    return QStringLiteral("„%1“").arg(word.size() <= LongestKeyName ? word : word.left(LongestKeyName) + u'…');
}

QString unknownKeyMessage(const QString& name)
{
    QStringList names;
    for (const Key& key : keys)
        names << QString::fromUtf8(key.name);
    return QStringLiteral("Unbekannte Taste %1; die Tasten heißen: %2").arg(quoted(name), names.join(u' '));
}

// While a modal dialog of the program is open (the file dialog, an input
// box, a message box), a click on the control unit does nothing; nor does a
// call. Otherwise a second dialog could open inside the first.
bool refusedWhileDialogOpen(const QDBusContext& call)
{
    if (!QApplication::activeModalWidget())
        return false;
    call.sendErrorReply(errorName("DialogOpen"),
                        QStringLiteral("Ein Dialog des Simulators ist offen; solange er offen ist, nimmt das "
                                       "Bediengerät nichts an."));
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

class ControlUnitAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.pendralumovista.Pendralumovista.ControlUnit")
    Q_PROPERTY(QString SignText READ signText)
    Q_PROPERTY(bus::StopOnRoute CurrentStop READ currentStop)
    Q_PROPERTY(QString Line READ line)
    Q_PROPERTY(QString Destination READ destination)
    Q_PROPERTY(bool DisplayOn READ displayOn)
    Q_PROPERTY(bool AutoAdvance READ autoAdvance)

public:
    explicit ControlUnitAdaptor(Door* door) : QDBusAbstractAdaptor(door), door_(*door) {}

    QString signText() const { return tk::toQString(unit().signText()); }
    StopOnRoute currentStop() const
    {
        const TForm2& u = unit();
        return {u.CurrentStop, u.CurrentStop < TForm2::StopCapacity ? tk::toQString(u.Stops[u.CurrentStop]) : QString()};
    }
    QString line() const { return tk::toQString(unit().LineNumber); }
    QString destination() const { return tk::toQString(unit().Destination); }
    bool displayOn() const { return unit().displaySwitchOn(); }
    bool autoAdvance() const { return unit().autoAdvanceOn(); }

    // Sends PropertiesChanged with every property that differs from what was
    // published last.
    void publishChanges()
    {
        QVariantMap changed;
        const QMetaObject* meta = metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            const QVariant value = property.read(this);
            QVariant& last = published_[QString::fromLatin1(property.name())];
            if (value != last) {
                last = value;
                changed.insert(QString::fromLatin1(property.name()), value);
            }
        }
        if (changed.isEmpty())
            return;
        QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QString::fromLatin1(ControlUnitInterface) << changed << QStringList();
        door_.bus()->send(signal);
    }

    void announce(const tk::Text& sentence) { emit Announced(tk::toQString(sentence)); }

    // The caller has its answer before the key acts: a key may open a modal
    // dialog that waits for the operator, and the caller must not wait with
    // it. Its next call comes after the press all the same, since calls are
    // taken one at a time on this thread.
    void press(const QDBusContext& call, const Key& key)
    {
        call.setDelayedReply(true);
        call.connection().send(call.message().createReply());
        key.press(unit());
        publishChanges();
    }

    // What choosing the file in the load dialog does; a refusal is the
    // message the box would show, as the error of the call.
    void load(const QDBusContext& call, QString path)
    {
        path.truncate(PathLimit);
        if (!QDir::isAbsolutePath(path)) {
            call.sendErrorReply(errorName("LoadRefused"),
                                QStringLiteral("Der Pfad muss vollständig sein, mit / am Anfang."));
            return;
        }
        const tk::Text refusal = unit().loadStopFile(path);
        if (!refusal.empty())
            call.sendErrorReply(errorName("LoadRefused"), tk::toQString(refusal));
        publishChanges();
    }

public slots:
    void PressKey(const QString& key)
    {
        const Key* found = findKey(key);
        if (!found)
            door_.sendErrorReply(errorName("UnknownKey"), unknownKeyMessage(key));
        else if (!refusedWhileDialogOpen(door_))
            press(door_, *found);
    }

    void SetLineDestination(const QString& line, const QString& destination)
    {
        if (refusedWhileDialogOpen(door_))
            return;
        unit().setLineDestination(tk::fromQString(line.left(InputBoxLimit)),
                                  tk::fromQString(destination.left(InputBoxLimit)));
        publishChanges();
    }

    void LoadStops(const QString& path)
    {
        if (!refusedWhileDialogOpen(door_))
            load(door_, path);
    }

signals:
    void Announced(const QString& sentence);

private:
    TForm2& unit() const { return door_.windows()->controlUnit(); }

    Door& door_;
    QVariantMap published_;
};

// What a desktop asks of a program: show yourself, open a file, run an
// action of your menu entry.
class ApplicationAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    explicit ApplicationAdaptor(Door* door) : QDBusAbstractAdaptor(door), door_(*door) {}

public slots:
    void Activate([[maybe_unused]] const QVariantMap& platform_data)
    {
        raise(door_.windows()->sign());
        raise(door_.windows()->controlUnit());
    }

    // The first file, as a stop file.
    void Open(const QStringList& uris, [[maybe_unused]] const QVariantMap& platform_data)
    {
        const QUrl url(uris.value(0).left(LongestUri));
        if (!url.isLocalFile())
            door_.sendErrorReply(errorName("LoadRefused"),
                                 QStringLiteral("Nur eine lokale Datei (file://) wird geöffnet."));
        else if (!refusedWhileDialogOpen(door_))
            door_.controlUnit()->load(door_, url.toLocalFile());
    }

    void ActivateAction(const QString& name, [[maybe_unused]] const QVariantList& parameter,
                        [[maybe_unused]] const QVariantMap& platform_data)
    {
        for (const Action& action : actions)
            if (name == QLatin1String(action.name)) {
                if (!refusedWhileDialogOpen(door_))
                    door_.controlUnit()->press(door_, *findKey(QLatin1String(action.key)));
                return;
            }
        door_.sendErrorReply(errorName("UnknownAction"),
                       QStringLiteral("Unbekannte Aktion %1; die Aktionen heißen: next-stop previous-stop "
                                      "toggle-display")
                           .arg(quoted(name)));
    }

private:
    Door& door_;
};

void announcedSessionBusOnly()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    const QByteArray socket = qgetenv("XDG_RUNTIME_DIR") + "/bus";
    struct stat status {};
    if (socket.startsWith('/') && ::stat(socket.constData(), &status) == 0 && S_ISSOCK(status.st_mode)
        && status.st_uid == ::getuid()) {
        // A D-Bus address escapes every byte but a few plain ones.
        QByteArray address = "unix:path=";
        for (const char c : socket)
            if (QByteArrayView("-_/.*").contains(c) || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')
                || (c >= 'a' && c <= 'z'))
                address += c;
            else
                address += '%' + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    } else {
        qputenv("DBUS_SESSION_BUS_ADDRESS", NoBus);
    }
}

std::optional<QDBusConnection> userSessionBus()
{
    announcedSessionBusOnly();
    if (qgetenv("DBUS_SESSION_BUS_ADDRESS") == NoBus)
        return std::nullopt;
    // A connection of the program's own rather than Qt's shared one, so that
    // closeBus really closes it.
    std::optional<QDBusConnection> session =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("pendralumovista-session"));
    if (!session->isConnected())
        closeBus(session);
    return session;
}

void closeBus(std::optional<QDBusConnection>& bus)
{
    if (!bus)
        return;
    const QString name = bus->name();
    bus.reset();
    QDBusConnection::disconnectFromBus(name);
}

Door::~Door()
{
    closeBus(bus_);
}

Door::Door() : bus_(userSessionBus())
{
    if (!bus_)
        return;
    qDBusRegisterMetaType<StopOnRoute>();
    controlUnit_ = new ControlUnitAdaptor(this);
    new ApplicationAdaptor(this);
    // The object is there before the name: a call that starts the program
    // through the bus arrives as soon as the name is claimed. Calls are
    // handled on this thread's event loop, which runs once the windows are
    // there (serve).
    if (!bus_->registerObject(QString::fromLatin1(ObjectPath), this)) {
        closeBus(bus_);
        return;
    }
    const QString name = QString::fromLatin1(ApplicationId);
    QDBusMessage activate = QDBusMessage::createMethodCall(name, QString::fromLatin1(ObjectPath),
                                                           QStringLiteral("org.freedesktop.Application"),
                                                           QStringLiteral("Activate"));
    activate << QVariantMap();
    // A program that has just ended still owns the name for a moment; the
    // call then finds it gone, and the name is claimed once more.
    QDBusMessage reply;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> claim = bus_->interface()->registerService(
            name, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
        if (claim.isValid() && claim.value() == QDBusConnectionInterface::ServiceRegistered)
            return;
        if (!claim.isValid() || claim.value() != QDBusConnectionInterface::ServiceNotRegistered) {
            // A bus that will not give the name: the program runs as without one.
            closeBus(bus_);
            return;
        }
        reply = bus_->call(activate, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ErrorMessage) {
            std::puts("pendralumovista läuft schon; seine Fenster sind nach vorn geholt.");
            handedOver_ = 0;
            return;
        }
        if (bus_->interface()->isServiceRegistered(name))
            break;
    }
    std::fprintf(stderr, "pendralumovista: läuft schon, antwortet aber nicht: %s\n",
                 reply.errorMessage().toUtf8().constData());
    handedOver_ = 1;
}

void Door::serve(Windows& windows)
{
    if (!bus_)
        return;
    windows_ = &windows;
    TForm2& unit = windows.controlUnit();
    unit.OnStateChange = [this] { controlUnit_->publishChanges(); };
    unit.OnAnnounce = [this](const tk::Text& sentence) { controlUnit_->announce(sentence); };
    // The sign pages a long text by itself, and what it shows changes with
    // the last page change.
    tk::Timer* pages = windows.sign().Timer1;
    pages->OnTimer = [pageChange = std::move(pages->OnTimer), this] {
        pageChange();
        controlUnit_->publishChanges();
    };
    controlUnit_->publishChanges();
}

} // namespace bus

#include "busdoor.moc"
