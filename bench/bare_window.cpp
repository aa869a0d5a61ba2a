// The yardstick for start-up: a bare Qt Widgets program with one frameless
// window the size of the sign, timed until its first painted frame exactly
// as bench_startup times the simulator. It links Qt alone.

#include "firstframe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    const bench::Clock::time_point mainEntered = bench::Clock::now();
    const bench::Clock::time_point launched = bench::parseLaunchTime(argc, argv);

    QApplication application(argc, argv);

    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setWindowTitle(QStringLiteral("Bare"));
    window.setFixedSize(926, 113);
    window.show();

    bench::FirstFrameProbe probe(launched, mainEntered, {&window});
    return QApplication::exec();
}
