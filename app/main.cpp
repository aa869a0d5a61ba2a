// Start-up: the command line first (--help, --version and a wrong argument
// end here, without a display), then the sign (it is the main window), the
// control unit and the hidden help window; then the event loop until the
// sign closes. The program reads and writes no file.

#include "commandline.h"
#include "startup.h"

#include <busdoor.h>
#include <feed.h>
#include <line.h>

#if PENDRALUMOVISTA_WEB
#include <websign.h>
#endif

#include <QApplication>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    CommandLine commandLine = parseCommandLine(argc, argv);
    if (commandLine.exitCode)
        return *commandLine.exitCode;
    int qtArgc = int(commandLine.qtArguments.size()) - 1;
    char** qtArgv = commandLine.qtArguments.data();
    if (!prepareWindowSystem(qtArgc, qtArgv))
        return 1;
    prepareLocale();
    bus::announcedSessionBusOnly();
    QApplication application(qtArgc, qtArgv);
    prepareApplication(application);
    const QString webAddress = QString::fromLocal8Bit(commandLine.webAddress ? commandLine.webAddress : "");
    // One simulator per desktop: a second start hands over to the first,
    // and so does its request for the web sign.
    bus::Door door;
    if (door.handedOver()) {
        if ((commandLine.ibisDevice || commandLine.ibisSignDevice) && *door.handedOver() == 0)
            std::fputs("pendralumovista: Der Simulator läuft schon; --ibis und --ibis-sign gelten nur für "
                       "seinen Start und bleiben hier ohne Wirkung.\n",
                       stderr);
        if (commandLine.web && *door.handedOver() == 0)
            return door.handOverWebRequest(webAddress, commandLine.webPort);
        return *door.handedOver();
    }
    Windows windows;
    state::Feed feed(windows.sign(), windows.controlUnit());
    // The web sign, served only when asked for, here or by a second start.
#if PENDRALUMOVISTA_WEB
    std::unique_ptr<web::WebSign> webSign;
    auto serveWeb = [&](const QString& address, uint port) {
        const web::Answer answer = web::serve(webSign, feed, address, port);
        return bus::WebAnswer{answer.served, answer.text};
    };
#else
    auto serveWeb = [](const QString&, uint) {
        return bus::WebAnswer{false, QStringLiteral("Diese Ausgabe des Programms ist ohne das Schild im Browser "
                                                    "gebaut; --web gibt es hier nicht.")};
    };
#endif
    door.serve(feed, serveWeb, markActivation);
    if (commandLine.web) {
        const bus::WebAnswer answer = serveWeb(webAddress, commandLine.webPort);
        if (answer.served) {
            std::printf("Das Schild im Browser: %s\n", answer.text.toUtf8().constData());
#if PENDRALUMOVISTA_WEB
            // On every address: where a tablet on the network finds it.
            if (const QStringList others = webSign->otherUrls(); !others.isEmpty())
                std::printf("Im Netzwerk auch unter: %s\n", others.join(QLatin1Char(' ')).toUtf8().constData());
#endif
        } else
            std::fprintf(stderr, "pendralumovista: %s\n", answer.text.toUtf8().constData());
        std::fflush(stdout);
    }
    // IBIS: the telegrams of each change out on one line, and the sign
    // showing what comes in on another. A line that fails says so in one
    // line and stays shut; the simulator runs on.
    const ibis::Settings ibisSettings{
        qint32(commandLine.ibisBaud),
        commandLine.ibisDataBits == 8 ? QSerialPort::Data8 : QSerialPort::Data7,
        commandLine.ibisParity == 'N'   ? QSerialPort::NoParity
        : commandLine.ibisParity == 'O' ? QSerialPort::OddParity
                                        : QSerialPort::EvenParity,
        commandLine.ibisStopBits == 1 ? QSerialPort::OneStop : QSerialPort::TwoStop,
    };
    const ibis::Report reportIbis = [](const QString& line) {
        std::fprintf(stderr, "pendralumovista: %s\n", line.toUtf8().constData());
        std::fflush(stderr);
    };
    std::unique_ptr<ibis::Sender> ibisOut;
    std::unique_ptr<ibis::SignInput> ibisIn;
    auto ibisConnected = [&] {
        feed.setIbisConnected((ibisOut && ibisOut->line().isConnected()) || (ibisIn && ibisIn->line().isConnected()));
    };
    if (commandLine.ibisDevice) {
        ibisOut = std::make_unique<ibis::Sender>(QString::fromLocal8Bit(commandLine.ibisDevice), ibisSettings, reportIbis);
        QObject::connect(&ibisOut->line(), &ibis::Line::connectedChanged, &feed, ibisConnected);
        ibisOut->open();
        ibisOut->follow(feed);
    }
    if (commandLine.ibisSignDevice) {
        ibisIn = std::make_unique<ibis::SignInput>(windows.sign(), QString::fromLocal8Bit(commandLine.ibisSignDevice),
                                                   ibisSettings, reportIbis);
        QObject::connect(&ibisIn->line(), &ibis::Line::connectedChanged, &feed, ibisConnected);
        QObject::connect(ibisIn.get(), &ibis::SignInput::shown, &feed, &state::Feed::changedNow);
        ibisIn->open();
    }
    const int status = QApplication::exec();
    ibisIn.reset();
    ibisOut.reset();
#if PENDRALUMOVISTA_WEB
    webSign.reset();
#endif
    return status;
}
