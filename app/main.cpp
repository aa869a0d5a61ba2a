// Start-up: the command line first (--help, --version and a wrong argument
// end here, without a display), then the sign (it is the main window), the
// control unit and the hidden help window; then the event loop until the
// sign closes. The program reads and writes no file.

#include "busdoor.h"
#include "commandline.h"
#include "startup.h"

#include <QApplication>

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
    // One simulator per desktop: a second start hands over to the first.
    bus::Door door;
    if (door.handedOver())
        return *door.handedOver();
    Windows windows;
    door.serve(windows);
    return QApplication::exec();
}
