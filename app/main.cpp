// Start-up: the sign first (it is the main window), then the control unit,
// then the hidden help window; then the event loop until the sign closes.
// The program takes no arguments and reads and writes no file.

#include "busdoor.h"
#include "startup.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (!prepareWindowSystem(argc, argv))
        return 1;
    QApplication application(argc, argv);
    prepareApplication(application);
    // One simulator per desktop: a second start hands over to the first.
    bus::Door door;
    if (door.otherIsRunning())
        return door.handOver();
    Windows windows;
    door.serve(windows);
    return QApplication::exec();
}
