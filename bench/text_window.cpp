// The yardstick for start-up of a program that shows text: a bare Qt Widgets
// program with one frameless window the size of the sign that draws one line
// of text in the font compiled into the simulator, timed until its first
// painted frame exactly as bench_startup times the simulator. Any program
// that shows text pays for starting the font system; this one pays for
// nothing else.

#include "firstframe.h"

#include <controls.h>

#include <QApplication>
#include <QPainter>
#include <QWidget>

namespace {
class TextWindow : public QWidget {
public:
    TextWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(tk::uiFont(21));
        painter.drawText(10, 40, QStringLiteral("Pendralumovista"));
    }
};
} // namespace

int main(int argc, char** argv)
{
    const bench::Clock::time_point mainEntered = bench::Clock::now();
    const bench::Clock::time_point launched = bench::parseLaunchTime(argc, argv);

    QApplication application(argc, argv);

    TextWindow window;
    window.setWindowTitle(QStringLiteral("Text"));
    window.setFixedSize(926, 113);
    window.show();

    bench::FirstFrameProbe probe(launched, mainEntered, {&window});
    return QApplication::exec();
}
