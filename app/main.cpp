// Start-up: the command line first (--help, --version and a wrong argument
// end here, without a display), then the sign (it is the main window), the
// control unit and the hidden help window; then the event loop until the
// sign closes. The program reads and writes no file.

#include "commandline.h"
#include "startup.h"

#include <busdoor.h>
#include <feed.h>

#if PENDRALUMOVISTA_WEB
#include <websign.h>
#endif

#include <QApplication>

#include <cstdio>

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
    const int status = QApplication::exec();
#if PENDRALUMOVISTA_WEB
    webSign.reset();
#endif
    return status;
}
