#pragma once
// The line to a real sign or a real on-board computer: a serial device
// through Qt Serial Port (1200 baud, 7 data bits, even parity, 2 stop bits
// unless the user says otherwise) or an IBIS-over-TCP adapter ("tcp:HOST:PORT").
// Nothing here blocks: the sender queues at most one telegram of each kind,
// the newest, and hands the device one telegram at a time, no faster than
// the line carries it; the reader decodes what arrives as it arrives. A
// device that is missing, busy, not a serial line or unplugged while in use
// gives one German line to the report and the line stays shut; the rest of
// the program runs on.

#include "telegram.h"

#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QIODevice;
class QTcpSocket;
class TForm1;

namespace state {
class Feed;
}

namespace ibis {

struct Settings {
    qint32 baudRate = 1200;
    QSerialPort::DataBits dataBits = QSerialPort::Data7;
    QSerialPort::Parity parity = QSerialPort::EvenParity;
    QSerialPort::StopBits stopBits = QSerialPort::TwoStop;
};

// Says one line of German about a fault, without the program's name.
using Report = std::function<void(const QString& line)>;

class Line : public QObject {
    Q_OBJECT
public:
    Line(QString device, Settings settings, Report report, QObject* parent = nullptr);
    ~Line() override;

    // Opens the device; false, after the report, when it cannot be opened.
    // An adapter over TCP is connected to in the background: true here, and
    // its faults reported when they happen.
    bool open();
    // Whether bytes can go out and come in now.
    bool isConnected() const { return connected_; }
    const QString& deviceName() const { return device_; }
    // The serial port, for whoever wants to see its settings; none over TCP.
    QSerialPort* serialPort() const { return serial_.get(); }
    QIODevice* device() const;
    // The time the line takes to carry `bytes` bytes at its settings.
    int millisecondsFor(qsizetype bytes) const;

signals:
    void connectedChanged(bool connected);
    void bytesArrived(const QByteArray& bytes);
    // The device has taken all it was given.
    void written();

private:
    void fail(const QString& why);
    void readAll();
    void setConnected(bool connected);

    QString device_;
    Settings settings_;
    Report report_;
    std::unique_ptr<QSerialPort> serial_;
    std::unique_ptr<QTcpSocket> socket_;
    bool connected_ = false;
    bool failed_ = false;
    // Looks now and then whether the far end of a serial line has hung up.
    QTimer hangup_;
};

// Sends the telegrams of each change of the state on a line.
class Sender : public QObject {
    Q_OBJECT
public:
    Sender(QString device, Settings settings, Report report, QObject* parent = nullptr);

    Line& line() { return line_; }
    // Opens the line; see Line::open.
    bool open() { return line_.open(); }
    // Queues the telegrams: each replaces the one of its kind still waiting.
    void send(const std::vector<Telegram>& telegrams);
    // Sends the state the feed holds, then the telegrams of each change.
    void follow(state::Feed& feed);
    // The telegrams waiting, for whoever wants to see that they stay few.
    qsizetype waiting() const { return qsizetype(queue_.size()); }

private:
    void next();

    Line line_;
    std::vector<Telegram> queue_;
    // Running while the telegram given last is still on the wire.
    QTimer onTheWire_;
    // The telegrams of everything now, sent again when the line comes up.
    std::function<std::vector<Telegram>()> whole_;
};

// The sign as a sign on the line: shows each telegram that arrives whole, a
// stop as a stop call shows it, line and destination as the line and
// destination text.
class SignInput : public QObject {
    Q_OBJECT
public:
    SignInput(TForm1& sign, QString device, Settings settings, Report report, QObject* parent = nullptr);

    Line& line() { return line_; }
    bool open() { return line_.open(); }
    const Decoder::Counts& counts() const { return decoder_.counts(); }
    // Shows one message on the sign.
    void show(const Message& message);

signals:
    // The sign shows something new.
    void shown();

private:
    TForm1& sign_;
    Line line_;
    Decoder decoder_;
    Text lineNumber_;
    Text destination_;
};

} // namespace ibis
