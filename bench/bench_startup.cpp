// Start-up of the simulator up to its first painted frame: the program's own
// start sequence, timed until the sign and the control unit have both been
// painted. Run by startup.sh, one
// process per measurement; see bench/README.md.

#include "firstframe.h"

#include <startup.h>

#include <QApplication>

int main(int argc, char** argv)
{
    const bench::Clock::time_point mainEntered = bench::Clock::now();
    const bench::Clock::time_point launched = bench::parseLaunchTime(argc, argv);

    prepareLocale();
    QApplication application(argc, argv);
    prepareApplication(application);
    Windows windows;

    bench::FirstFrameProbe probe(launched, mainEntered, {&windows.sign(), &windows.controlUnit()});
    return QApplication::exec();
}
