#include "line.h"

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <feed.h>

#include <QAction>
#include <QFile>
#include <QTcpSocket>

#include <algorithm>
#include <cmath>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace ibis {

namespace {

// What arrives is read in pieces of this size; the port holds no more than
// this much that the program has not read.
constexpr qint64 ReadPiece = 4096;
constexpr qint64 ReadBuffer = 64 * 1024;
constexpr int HangupCheckMs = 500;

constexpr QLatin1StringView TcpPrefix("tcp:");

QString serialFault(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("gibt es nicht");
    case QSerialPort::PermissionError:
        return QStringLiteral("ist belegt oder für diesen Benutzer nicht freigegeben (Gruppe dialout?)");
    case QSerialPort::OpenError:
        return QStringLiteral("ist schon offen");
    case QSerialPort::UnsupportedOperationError:
        return QStringLiteral("nimmt diese Einstellungen nicht an");
    // A device pulled out while in use fails whatever is done with it next.
    case QSerialPort::ResourceError:
    case QSerialPort::WriteError:
    case QSerialPort::ReadError:
        return QStringLiteral("ist nicht mehr erreichbar (abgezogen?)");
    default:
        return QStringLiteral("ist keine serielle Schnittstelle");
    }
}

QString socketFault(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("nimmt keine Verbindung an");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("hat die Verbindung beendet");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("ist als Rechner unbekannt");
    default:
        return QStringLiteral("ist nicht erreichbar");
    }
}

bool isTerminal(const QString& device)
{
    const int descriptor = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return true; // not to be told apart here; Qt's own verdict stands
    const bool terminal = ::isatty(descriptor) == 1;
    ::close(descriptor);
    return terminal;
}

} // namespace

Line::Line(QString device, Settings settings, Report report, QObject* parent)
    : QObject(parent), device_(std::move(device)), settings_(settings), report_(std::move(report))
{
}

Line::~Line() = default;

QIODevice* Line::device() const
{
    return serial_ ? static_cast<QIODevice*>(serial_.get()) : static_cast<QIODevice*>(socket_.get());
}

int Line::millisecondsFor(qsizetype bytes) const
{
    const int parity = settings_.parity == QSerialPort::NoParity ? 0 : 1;
    const double stop = settings_.stopBits == QSerialPort::TwoStop ? 2 : settings_.stopBits == QSerialPort::OneAndHalfStop ? 1.5 : 1;
    const double bits = 1 + int(settings_.dataBits) + parity + stop;
    return int(std::ceil(double(bytes) * bits * 1000 / std::max(settings_.baudRate, 1)));
}

bool Line::open()
{
    if (device_.startsWith(TcpPrefix)) {
        const QString address = device_.mid(TcpPrefix.size());
        const qsizetype colon = address.lastIndexOf(u':');
        bool portValid = false;
        const uint port = colon > 0 ? address.mid(colon + 1).toUInt(&portValid) : 0;
        if (!portValid || port == 0 || port > 65535) {
            fail(QStringLiteral("ist keine Adresse der Form tcp:RECHNER:PORT"));
            return false;
        }
        socket_ = std::make_unique<QTcpSocket>();
        connect(socket_.get(), &QTcpSocket::connected, this, [this] { setConnected(true); });
        connect(socket_.get(), &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) { fail(socketFault(error)); });
        connect(socket_.get(), &QTcpSocket::readyRead, this, &Line::readAll);
        connect(socket_.get(), &QTcpSocket::bytesWritten, this, [this] {
            if (socket_ && socket_->bytesToWrite() == 0)
                emit written();
        });
        QString host = address.left(colon);
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        socket_->connectToHost(host, quint16(port));
        return true;
    }
    serial_ = std::make_unique<QSerialPort>(device_);
    serial_->setReadBufferSize(ReadBuffer);
    // Given before the device is opened, the settings are applied as it
    // opens, and a device that cannot take them does not open. (A pseudo
    // terminal takes them and ignores the framing, which it does not have.)
    serial_->setBaudRate(settings_.baudRate);
    serial_->setDataBits(settings_.dataBits);
    serial_->setParity(settings_.parity);
    serial_->setStopBits(settings_.stopBits);
    serial_->setFlowControl(QSerialPort::NoFlowControl);
    if (!serial_->open(QIODevice::ReadWrite)) {
        // Qt names a device that is no terminal (a file, /dev/null) as one
        // that refuses the settings: which of the two it is, says the device.
        const bool refused = serial_->error() == QSerialPort::UnsupportedOperationError;
        fail(refused && !isTerminal(device_) ? QStringLiteral("ist keine serielle Schnittstelle")
                                             : serialFault(serial_->error()));
        return false;
    }
    connect(serial_.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error != QSerialPort::NoError && error != QSerialPort::TimeoutError)
            fail(serialFault(error));
    });
    connect(serial_.get(), &QSerialPort::readyRead, this, &Line::readAll);
    // A device pulled out, or a pseudo terminal whose other end closed,
    // hangs up. Qt 6.4 reports that as an error at the next read; Qt 6.8
    // may report nothing at all, so the line asks the device itself.
    hangup_.setInterval(HangupCheckMs);
    connect(&hangup_, &QTimer::timeout, this, [this] {
        if (!serial_ || !serial_->isOpen())
            return;
        pollfd watched{int(serial_->handle()), POLLIN, 0};
        if (::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            hangup_.stop();
            fail(serialFault(QSerialPort::ResourceError));
        }
    });
    hangup_.start();
    connect(serial_.get(), &QSerialPort::bytesWritten, this, [this] {
        if (serial_ && serial_->bytesToWrite() == 0)
            emit written();
    });
    setConnected(true);
    return true;
}

void Line::readAll()
{
    QIODevice* from = device();
    while (from && from->bytesAvailable() > 0) {
        const QByteArray piece = from->read(ReadPiece);
        if (piece.isEmpty())
            break;
        emit bytesArrived(piece);
        from = device();
    }
}

void Line::setConnected(bool connected)
{
    if (connected_ != connected) {
        connected_ = connected;
        emit connectedChanged(connected);
    }
}

void Line::fail(const QString& why)
{
    // One line per device, however many errors a pulled plug raises.
    if (failed_)
        return;
    failed_ = true;
    setConnected(false);
    if (report_)
        report_(QStringLiteral("IBIS an „%1“: %2; der Simulator läuft ohne diese Leitung weiter.")
                    .arg(device_.left(200), why));
    // Closed later: the device may be in the middle of emitting.
    QIODevice* device = this->device();
    if (device) {
        device->disconnect(this);
        QMetaObject::invokeMethod(device, [device] { device->close(); }, Qt::QueuedConnection);
    }
}

Sender::Sender(QString device, Settings settings, Report report, QObject* parent)
    : QObject(parent), line_(std::move(device), settings, std::move(report))
{
    onTheWire_.setSingleShot(true);
    connect(&onTheWire_, &QTimer::timeout, this, &Sender::next);
    connect(&line_, &Line::written, this, &Sender::next);
    connect(&line_, &Line::connectedChanged, this, [this](bool connected) {
        if (connected && whole_)
            send(whole_());
        if (!connected)
            queue_.clear();
    });
}

void Sender::send(const std::vector<Telegram>& telegrams)
{
    if (!line_.isConnected())
        return;
    for (const Telegram& telegram : telegrams) {
        const auto same = std::find_if(queue_.begin(), queue_.end(),
                                       [&telegram](const Telegram& waiting) { return waiting.kind == telegram.kind; });
        if (same != queue_.end())
            *same = telegram;
        else
            queue_.push_back(telegram);
    }
    next();
}

void Sender::next()
{
    QIODevice* device = line_.device();
    if (queue_.empty() || !line_.isConnected() || !device || onTheWire_.isActive() || device->bytesToWrite() > 0)
        return;
    const Telegram telegram = queue_.front();
    queue_.erase(queue_.begin());
    onTheWire_.start(line_.millisecondsFor(qsizetype(telegram.bytes.size())));
    device->write(telegram.bytes.data(), qint64(telegram.bytes.size()));
}

void Sender::follow(state::Feed& feed)
{
    whole_ = [&feed] { return telegramsFor(feed.current(), nullptr); };
    if (line_.isConnected())
        send(whole_());
    connect(&feed, &state::Feed::changed, this,
            [this](const state::Snapshot& now, const state::Snapshot& before) { send(telegramsFor(now, &before)); });
}

SignInput::SignInput(TForm1& sign, QString device, Settings settings, Report report, QObject* parent)
    : QObject(parent), sign_(sign), line_(std::move(device), settings, std::move(report))
{
    connect(&line_, &Line::bytesArrived, this, [this](const QByteArray& bytes) {
        for (const Message& message : decoder_.feed(std::string_view(bytes.constData(), std::size_t(bytes.size()))))
            show(message);
    });
}

void SignInput::show(const Message& message)
{
    switch (message.kind) {
    case Kind::Line:
        lineNumber_ = message.text;
        break;
    case Kind::Destination:
        destination_ = message.text;
        break;
    case Kind::Stop:
        break;
    }
    // As the control unit writes: a clear, then the text.
    sign_.Reset1->trigger();
    sign_.schreib(message.kind == Kind::Stop ? message.text : TForm2::lineDestinationText(lineNumber_, destination_));
    emit shown();
}

} // namespace ibis
