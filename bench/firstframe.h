#pragma once
// Start-up timing shared by the start-up probes: notes when every watched
// window has had its first paint, waits until the X server has carried out
// the drawing, prints the times and the peak resident memory so far, and
// ends the event loop.
//
// Times are wall-clock: the launching script passes the moment it started the
// process (bash's EPOCHREALTIME, seconds with a fraction) as the first
// argument, so "launch" includes loading the program and its libraries;
// "main" counts from the first line of main().

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// Called once the first frame is on the screen, and never inlined, so that
// `valgrind --tool=callgrind --dump-before=pendralumovista_first_frame`
// counts the instructions up to that moment, without what the program does
// after it or on its way out.
extern "C" [[gnu::noinline]] inline void pendralumovista_first_frame()
{
    asm volatile("");
}

namespace bench {

using Clock = std::chrono::system_clock;

// "1765100000.123456" (or with a comma, as some locales write it) as a point
// in time; the epoch when missing or unreadable.
inline Clock::time_point parseLaunchTime(int argc, char** argv)
{
    if (argc < 2)
        return {};
    std::string text = argv[1];
    const auto separator = text.find_first_of(".,");
    const std::string seconds = text.substr(0, separator);
    std::string fraction = separator == std::string::npos ? std::string() : text.substr(separator + 1);
    fraction = (fraction + "000000").substr(0, 6);
    char* end = nullptr;
    const long long wholeSeconds = std::strtoll(seconds.c_str(), &end, 10);
    if (seconds.empty() || *end != '\0')
        return {};
    const long long microseconds = std::strtoll(fraction.c_str(), &end, 10);
    if (*end != '\0')
        return {};
    return Clock::time_point(std::chrono::seconds(wholeSeconds) + std::chrono::microseconds(microseconds));
}

class FirstFrameProbe : public QObject {
public:
    FirstFrameProbe(Clock::time_point launched, Clock::time_point mainEntered, std::vector<QWidget*> windows)
        : launched_(launched), mainEntered_(mainEntered), waiting_(std::move(windows))
    {
        qApp->installEventFilter(this);
        // A window that never paints must not hang the measuring script.
        QTimer::singleShot(20000, this, [] {
            std::fputs("no first frame within 20 s\n", stderr);
            QCoreApplication::exit(1);
        });
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() && !waiting_.empty()) {
            QWidget* window = static_cast<QWidget*>(watched)->window();
            std::erase(waiting_, window);
            // The paint events of a window run together, followed by the
            // flush of its backing store; the zero timer fires after both.
            if (waiting_.empty())
                QTimer::singleShot(0, this, [this] { finish(); });
        }
        return false;
    }

private:
    void finish()
    {
        // A round trip to the window system: the drawing requests sent
        // before it have been carried out once it returns.
        QGuiApplication::sync();
        pendralumovista_first_frame();
        const Clock::time_point now = Clock::now();
        const auto ms = [now](Clock::time_point from) {
            return std::chrono::duration<double, std::milli>(now - from).count();
        };
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double rssMiB = double(usage.ru_maxrss) / 1024.0; // kibibytes on Linux
        if (launched_ != Clock::time_point())
            std::printf("launch %.2f main %.2f rss %.1f\n", ms(launched_), ms(mainEntered_), rssMiB);
        else
            std::printf("launch - main %.2f rss %.1f\n", ms(mainEntered_), rssMiB);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    Clock::time_point launched_;
    Clock::time_point mainEntered_;
    std::vector<QWidget*> waiting_;
};

} // namespace bench
