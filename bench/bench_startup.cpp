// Start-up of the simulator up to its first painted frame: the program's own
// start sequence, timed until the sign and the control unit have both been
// painted, with the libraries the program links and the state feed it
// makes. Run by startup.sh, one
// process per measurement; see bench/README.md.

#include "firstframe.h"

#include <startup.h>
#include <feed.h>
#if PENDRALUMOVISTA_WEB
#include <websign.h>
#endif

#include <QApplication>

int main(int argc, char** argv)
{
    const bench::Clock::time_point mainEntered = bench::Clock::now();
    const bench::Clock::time_point launched = bench::parseLaunchTime(argc, argv);

    prepareLocale();
    QApplication application(argc, argv);
    prepareApplication(application);
    Windows windows;
    // As the program starts without --web: the feed listens, the web sign
    // is linked in but not started.
    state::Feed feed(windows.sign(), windows.controlUnit());
#if PENDRALUMOVISTA_WEB
    std::unique_ptr<web::WebSign> webSign;
    if (argc > 99)
        web::serve(webSign, feed, QString(), 0);
#endif

    bench::FirstFrameProbe probe(launched, mainEntered, {&windows.sign(), &windows.controlUnit()});
    return QApplication::exec();
}
