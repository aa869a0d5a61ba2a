// A day of service in a few seconds: a route of 99 stops driven by automatic
// advance for 24 virtual hours, with the operator dropping into the menu every
// ten minutes. The timers are fired by calling their handlers on a virtual
// clock. After every event the state record, the display, the route marker,
// the sign, the clipboard and the timers must still agree with each other, no
// control may have been created, and the process may not grow.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <fstream>
#include <malloc.h>
#include <functional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

// Under AddressSanitizer freed memory is held back in a quarantine of up to
// 256 MiB before it is reused, so the resident set grows with every
// allocation made, whether or not anything leaks. The logical measures still
// apply there; the resident-set comparison only means something without it.
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_ADDRESS_SANITIZER 1
#endif
#endif

// glibc tells how many bytes the program holds on its heap: a measure without
// the page-level noise of the resident set. A leak of a few bytes per stop
// call adds up to more than the allowance over a day.
#if !defined(SOAK_ADDRESS_SANITIZER) && defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 33)
#define SOAK_HEAP_IN_USE 1
#endif

namespace {

constexpr int RouteLength = 99;
constexpr int LastStop = RouteLength - 1;
constexpr int EmptyStop = 50;
constexpr int SecondsPerDay = 24 * 60 * 60;
constexpr int TripEverySeconds = 10 * 60;
constexpr int AutoInterval = 4;
constexpr int AutoScatter = 3;
constexpr int FirstDelay = 8;
constexpr long AllowedGrowthBytes = 2L * 1024 * 1024;
constexpr long AllowedHeapGrowthBytes = 256L * 1024;

const char* const lineNumber = "7";
const char* const destination = "Hauptbahnhof Nord Ausstieg";

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

// The route, in Windows-1252: both termini and many stops between them are
// longer than the sign, several carry umlauts or ß, and one line is empty.
std::vector<tk::Text> routeNames()
{
    std::vector<tk::Text> names;
    for (int i = 0; i < RouteLength; ++i) {
        const std::string n = std::to_string(i);
        std::string utf8;
        if (i == 0)
            utf8 = "Betriebshof Süd Wendeschleife";
        else if (i == LastStop)
            utf8 = "Universität Nordcampus Endhaltestelle";
        else if (i == EmptyStop)
            utf8 = "";
        else
            switch (i % 5) {
            case 0: utf8 = "Am Großen Garten Ost " + n; break;
            case 1: utf8 = "Müllerstraße " + n; break;
            case 2: utf8 = "Haltestelle " + n; break;
            case 3: utf8 = "Öhringer Tor " + n; break;
            default: utf8 = "Äußere Weberstraße " + n; break;
            }
        names.push_back(tk::fromUtf8(utf8));
    }
    return names;
}

long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

long heapInUse()
{
#ifdef SOAK_HEAP_IN_USE
    return long(mallinfo2().uordblks);
#else
    return 0;
#endif
}

// The countdown of one timer on the virtual clock. The event loop never runs
// during the day, so the real timers never fire; the test reads Enabled() and
// Interval() after every event as the real timer would see them: switching it
// on or giving it a new interval starts a full countdown, and each tick starts
// the next one.
// Simplification: a timer switched off and on again within one handler (the
// arrow keys do that to Timer2 to restart the delay) is not seen to restart;
// its countdown goes on from the earlier start, so the fall-back may come
// earlier than in the real program. No check below depends on when it comes.
struct VirtualTimer {
    tk::Timer* timer = nullptr;
    bool enabled = false;
    int interval = 0;
    qint64 dueAt = 0;

    void observe(qint64 now)
    {
        const bool nowEnabled = timer->Enabled();
        const int nowInterval = timer->Interval();
        if (nowEnabled && (!enabled || nowInterval != interval))
            dueAt = now + nowInterval;
        enabled = nowEnabled;
        interval = nowInterval;
    }
    // An interval of 0 never fires, although the timer stays enabled.
    bool due(qint64 now) const { return enabled && interval > 0 && now >= dueAt; }
    void ticked(qint64 now)
    {
        enabled = timer->Enabled();
        interval = timer->Interval();
        dueAt = now + interval;
    }
};

enum class Event { Clock, PageChange, FallBack, Step, Terminus, NumberEntry, Key };

const char* eventName(Event event)
{
    switch (event) {
    case Event::Clock: return "clock tick";
    case Event::PageChange: return "page change";
    case Event::FallBack: return "fall-back";
    case Event::Step: return "automatic step";
    case Event::Terminus: return "Endstelle";
    case Event::NumberEntry: return "M of a stop number";
    case Event::Key: return "key";
    }
    return "?";
}

#define EXPECT(condition, what)                                                                    \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fail(QStringLiteral(what) + QStringLiteral(" [" #condition "]"));                      \
    } while (0)

// One control unit with its sign on a scripted platform, and the day it runs.
class Day {
public:
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    const std::vector<tk::Text> names = routeNames();
    const QString sentenceStart = QString::fromUtf8("nächste Haltestelle: ");

    bool ok = true;
    QString failure;

    // What the day proved.
    int turnsToB = 0;
    int turnsToA = 0;
    int steps = 0;
    int silentSteps = 0;
    int stepsOnTheMenu = 0;
    int fallBacks = 0;
    int pageChanges = 0;
    int trips = 0;
    int events = 0;
    std::set<int> stopsCalled;

    long residentAfterFirstHour = 0;
    long residentAtEnd = 0;
    long heapAfterFirstHour = 0;
    long heapAtEnd = 0;
    qsizetype formObjects = 0;
    qsizetype signObjects = 0;
    qsizetype widgets = 0;

    // Checks that the logical size is what it was after the setup.
    void checkNothingCreated()
    {
        EXPECT(form.findChildren<QObject*>().size() == formObjects, "a control unit object was created or destroyed");
        EXPECT(sign.findChildren<QObject*>().size() == signObjects, "a sign object was created or destroyed");
        EXPECT(QApplication::allWidgets().size() == widgets, "a widget was created or destroyed");
    }

    void start()
    {
        formObjects = form.findChildren<QObject*>().size();
        signObjects = sign.findChildren<QObject*>().size();
        widgets = QApplication::allWidgets().size();
        for (VirtualTimer* timer : {&fallBack, &stepper})
            timer->observe(0);
        lastClipboard = QGuiApplication::clipboard()->text();
        turned = false;
        markerFollows = form.Shape7->y() == form.markerTop();
    }

    void run()
    {
        for (int second = 1; second <= SecondsPerDay && ok; ++second) {
            now = qint64(second) * 1000;
            virtualSecond = second;
            platform.time = QTime(0, 0).addSecs(second % SecondsPerDay);

            event(Event::Clock, [this] { form.Timer1Timer(); });
            if (second % 5 == 0 && sign.Timer1->Enabled())
                event(Event::PageChange, [this] { sign.Timer1Timer(); });
            if (fallBack.due(now))
                event(Event::FallBack, [this] { form.Timer2Timer(); }, &fallBack);
            if (stepper.due(now))
                event(Event::Step, [this] { form.Timer3Timer(); }, &stepper);

            if (second % TripEverySeconds == 0)
                planTrip(second / TripEverySeconds);
            if (!trip.empty()) {
                const std::function<void()> action = trip.front();
                trip.pop_front();
                action();
            }

            // What an event loop would deliver besides timers and input: any
            // event posted meanwhile must not pile up. The scripted platform
            // records every request for a random number; that record is the
            // test's, not the program's, and must not count as growth.
            if (second % 60 == 0) {
                QCoreApplication::sendPostedEvents();
                platform.randomRequests.clear();
            }
            if (second % 3600 == 0)
                checkNothingCreated();
            if (second == 3600) {
                residentAfterFirstHour = residentBytes();
                heapAfterFirstHour = heapInUse();
            }
        }
        residentAtEnd = residentBytes();
        heapAtEnd = heapInUse();
    }

private:
    VirtualTimer fallBack{form.Timer2};
    VirtualTimer stepper{form.Timer3};
    qint64 now = 0;
    int virtualSecond = 0;
    std::deque<std::function<void()>> trip;
    int delaySeconds = FirstDelay;

    QString lastClipboard;
    bool turned = false;
    bool markerFollows = true;

    void fail(const QString& what)
    {
        if (!ok)
            return;
        ok = false;
        failure = QStringLiteral("at %1 (virtual second %2, %3): %4")
                      .arg(QTime(0, 0).addSecs(virtualSecond % SecondsPerDay).toString(QStringLiteral("HH:mm:ss")))
                      .arg(virtualSecond)
                      .arg(QString::fromLatin1(currentEvent))
                      .arg(what);
    }
    const char* currentEvent = "";

    QString announcement(bool terminus) const
    {
        return sentenceStart + tk::toQString(form.Stops[form.CurrentStop])
               + (terminus ? QStringLiteral(". Endstelle. Bitte aussteigen") : QString());
    }

    // What the sign shows right after a text was written on a cleared sign:
    // the text itself, or the first page of a longer one.
    std::string freshlyWritten(const tk::Text& text) const
    {
        std::string shown = text.size() <= size_t(TForm1::CellCount) ? text : sign.FirstPage;
        shown.erase(shown.find_last_not_of(' ') + 1);
        return shown;
    }

    tk::Text terminusLine() const
    {
        return "  " + tk::Text(lineNumber) + " " + names[form.DirectionB ? 0 : LastStop];
    }

    void event(Event kind, const std::function<void()>& action, VirtualTimer* ticking = nullptr)
    {
        if (!ok)
            return;
        ++events;
        currentEvent = eventName(kind);
        const int stopBefore = form.CurrentStop;
        const bool directionBefore = form.DirectionB;
        const int menuBefore = form.MenuPage;
        const bool displayOn = form.displaySwitchOn();

        action();

        if (ticking)
            ticking->ticked(now);
        fallBack.observe(now);
        stepper.observe(now);

        const QString clipboard = QGuiApplication::clipboard()->text();
        const bool stopChanged = form.CurrentStop != stopBefore;
        if (stopChanged)
            stopsCalled.insert(form.CurrentStop);

        checkInvariants(clipboard);

        switch (kind) {
        case Event::Clock: {
            const int minutes = platform.time.minute();
            const std::string expected =
                std::to_string(platform.time.hour()) + (minutes < 10 ? ":0" : ":") + std::to_string(minutes);
            EXPECT(form.Label2->Caption() == expected, "the clock shows another time");
            break;
        }
        case Event::PageChange:
            ++pageChanges;
            break;
        case Event::FallBack:
            ++fallBacks;
            EXPECT(!form.Timer2->Enabled(), "the fall-back fires once per start");
            EXPECT(readSign(sign) == freshlyWritten(form.LineDestinationText),
                   "the fall-back does not show line and destination");
            break;
        case Event::Step:
            checkStep(stopBefore, directionBefore, menuBefore, displayOn, clipboard);
            break;
        case Event::Terminus:
            EXPECT(form.CurrentStop == (stopBefore == LastStop ? 0 : LastStop), "Endstelle goes to the wrong end");
            // Not gated by the display switch, and never the terminus ending.
            EXPECT(clipboard == announcement(false), "Endstelle announces something else");
            EXPECT(readSign(sign) == freshlyWritten(form.Stops[form.CurrentStop]),
                   "Endstelle does not show the terminus");
            EXPECT(form.Timer2->Enabled(), "Endstelle always leads to the fall-back");
            break;
        case Event::NumberEntry:
            EXPECT(form.CurrentStop == 42, "the typed stop number was not called");
            EXPECT(form.Shape7->y() == form.markerTop(), "the marker did not follow the typed stop");
            if (displayOn)
                EXPECT(clipboard == announcement(false), "the typed stop was announced wrongly");
            else
                EXPECT(clipboard == lastClipboard, "the typed stop was announced with the display switch off");
            break;
        case Event::Key:
            break;
        }

        // The marker follows every stop call but the terminus key's.
        if (kind == Event::Terminus)
            markerFollows = false;
        else if (stopChanged || kind == Event::NumberEntry)
            markerFollows = true;
        if (markerFollows)
            EXPECT(form.Shape7->y() == form.markerTop(), "the marker is not at the current stop");

        lastClipboard = clipboard;
    }

    void checkInvariants(const QString& clipboard)
    {
        EXPECT(form.StopsLoaded, "the stop data set is no longer loaded");
        EXPECT(form.StopCount == RouteLength, "the number of stops changed");
        EXPECT(form.CurrentStop < form.StopCount, "the current stop lies outside the route");
        EXPECT(form.Stops[RouteLength].empty(), "the entry after the last stop is not empty");
        EXPECT(form.MenuPage == 0 || form.MenuPage == 1 || form.MenuPage == 2 || form.MenuPage == 5,
               "the menu page is none of 0, 1, 2, 5");
        EXPECT(form.EntryMode <= 3, "the entry mode is none of 0 to 3");
        EXPECT(form.Label10->Caption() == (form.DirectionB ? "B" : "A"), "the direction letter disagrees");
        const int marker = form.Shape7->y();
        EXPECT(marker >= 63 && marker <= 151, "the marker left the route strip");
        EXPECT(form.Shape7->x() == 229, "the marker left its column");

        EXPECT(sign.PageTicks <= 5, "the sign paged more than five times");
        EXPECT(!sign.Timer1->Enabled() || sign.PageTicks <= 4, "the page timer runs after its fifth change");
        EXPECT(sign.FirstPage.size() <= size_t(TForm1::CellCount), "a first page is longer than the sign");

        EXPECT(clipboard.startsWith(sentenceStart), "the clipboard holds no announcement");
        EXPECT(form.Edit1->text().isEmpty(), "the edit field kept text");

        EXPECT(form.autoAdvanceOn(), "automatic advance switched itself off");
        EXPECT(form.Timer3->Enabled(), "the step timer stopped while Auto is on");
        const int stepInterval = form.Timer3->Interval();
        EXPECT(stepInterval >= (AutoInterval - AutoScatter) * 1000
                   && stepInterval <= (AutoInterval + AutoScatter - 1) * 1000 && stepInterval % 1000 == 0,
               "the step interval is not a whole second between I - S and I + S - 1");
        EXPECT(form.Timer2->Interval() == delaySeconds * 1000, "the fall-back delay changed by itself");
        EXPECT(form.ShowLineDestination, "the fall-back was switched off");

        // Once the route has been turned at an end, the text the sign falls
        // back to names the terminus ahead.
        if (turned)
            EXPECT(form.LineDestinationText == terminusLine(), "the line/destination text names no terminus");

        for (int i : {0, EmptyStop - 1, EmptyStop, 42, LastStop})
            EXPECT(form.Stops[size_t(i)] == names[size_t(i)], "a stop name changed");
    }

    void checkStep(int stopBefore, bool directionBefore, int menuBefore, bool displayOn, const QString& clipboard)
    {
        // Turning at the ends looks at the stop before the step.
        if (stopBefore == LastStop) {
            EXPECT(form.DirectionB, "no turn to B at the last stop");
            turnsToB += !directionBefore;
            turned = true;
        } else if (stopBefore == 0) {
            EXPECT(!form.DirectionB, "no turn to A at the first stop");
            turnsToA += directionBefore;
            turned = true;
        } else {
            EXPECT(form.DirectionB == directionBefore, "the direction changed between the ends");
        }

        if (menuBefore != 0) {
            // On a menu page the arrow turns the page instead of stepping.
            ++stepsOnTheMenu;
            EXPECT(form.CurrentStop == stopBefore, "a step happened on a menu page");
            return;
        }
        ++steps;
        EXPECT(form.CurrentStop == stopBefore + (form.DirectionB ? -1 : 1), "the step went the wrong way");
        if (!displayOn) {
            ++silentSteps;
            EXPECT(clipboard == lastClipboard, "a silent step announced");
            return;
        }
        const bool terminus =
            form.DirectionB ? form.CurrentStop == 0 : form.Stops[form.CurrentStop + 1u].empty();
        EXPECT(clipboard == announcement(terminus), "the step announced something else");
        EXPECT(readSign(sign) == freshlyWritten(form.Stops[form.CurrentStop]), "the sign does not show the stop");
        EXPECT(form.Timer2->Enabled(), "the step did not start the fall-back");
    }

    // A trip through the menu, one key per virtual second, so that steps of
    // the automatic advance fall in between and turn the pages themselves.
    void planTrip(int number)
    {
        ++trips;
        checkNothingCreated();
        auto key = [this](std::function<void()> action) {
            trip.push_back([this, action] { event(Event::Key, action); });
        };
        key([this] { form.Label5Click(); });
        switch (number % 5) {
        case 0:
            // The terminus key on a menu page.
            trip.push_back([this] { event(Event::Terminus, [this] { form.Label9MouseDown(); }); });
            key([this] { form.Shape2MouseDown(); });
            key([this] { form.Label5Click(); });
            break;
        case 1:
            key([this] { form.Shape2MouseDown(); });
            key([this] { form.Label5Click(); });
            trip.push_back([this] {
                event(Event::Key, [this] { form.Label0CMouseDown(); });
                event(Event::Key, [this] { form.Label04MouseDown(); });
                event(Event::Key, [this] { form.Label02MouseDown(); });
                event(Event::NumberEntry, [this] { form.Label0MClick(); });
            });
            break;
        case 2:
            key([this] { form.Shape2MouseDown(); });
            key([this] { form.Label5Click(); });
            key([this] { form.Label6Click(); });
            break;
        case 3: {
            // A new fall-back delay, typed while the steps go on.
            const int seconds = (number / 5) % 2 ? 9 : 7;
            trip.push_back([this] {
                event(Event::Key, [this] { form.Shape2MouseDown(); });
                event(Event::Key, [this] { form.Shape9MouseDown(); });
                EXPECT(form.MenuPage == 5 && form.EntryMode == 1, "the delay entry did not open");
            });
            key([this, seconds] {
                if (seconds == 9)
                    form.Label09MouseDown();
                else
                    form.Label07MouseDown();
            });
            trip.push_back([this, seconds] {
                delaySeconds = seconds;
                event(Event::Key, [this] { form.Label0MClick(); });
                EXPECT(form.MenuPage == 2 && form.EntryMode == 0, "the delay entry did not close");
            });
            key([this] { form.Label5Click(); });
            break;
        }
        default:
            key([this] { form.Shape2MouseDown(); });
            key([this] { form.Label5Click(); });
            trip.push_back([this] { event(Event::Terminus, [this] { form.Label9MouseDown(); }); });
            break;
        }
    }
};

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void dayOfService();
};

void TestSoak::dayOfService()
{
    Day day;
    TForm2& form = day.form;
    TForm1& sign = day.sign;

    // The route file, Windows-1252, CR LF line ends.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("route.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const tk::Text& name : day.names)
            file.write(QByteArray::fromStdString(name + "\r\n"));
    }

    // Load it from menu page 1.
    form.Label5Click();
    QCOMPARE(form.MenuPage, 1);
    day.platform.fileAnswers.push_back(path);
    form.Shape9MouseDown();
    QVERIFY(day.platform.errors.empty());
    QVERIFY(form.StopsLoaded);
    QCOMPARE(int(form.StopCount), RouteLength);
    for (int i = 0; i < RouteLength; ++i)
        QCOMPARE(bytes(form.Stops[size_t(i)]), bytes(day.names[size_t(i)]));
    QVERIFY(form.Stops[RouteLength].empty());

    // Line and destination, longer than the sign.
    day.platform.inputAnswers = {tk::Text(lineNumber), tk::Text(destination)};
    form.Shape8MouseDown();
    QCOMPARE(bytes(form.LineDestinationText), QByteArray("  7 Hauptbahnhof Nord Ausstieg"));
    // The break is the last blank among the first 21 characters.
    QCOMPARE(QByteArray::fromStdString(readSign(sign)), QByteArray("  7 Hauptbahnhof"));
    QVERIFY(sign.Timer1->Enabled());

    // Page 2: a short fall-back delay, a short step interval and scatter.
    form.Shape2MouseDown();
    QCOMPARE(form.MenuPage, 2);
    form.Shape9MouseDown();
    form.Label08MouseDown();
    form.Label0MClick();
    QCOMPARE(form.Timer2->Interval(), FirstDelay * 1000);
    form.Shape10MouseDown();
    form.Label04MouseDown();
    form.Label0MClick();
    form.Label03MouseDown();
    form.Label0MClick();
    QCOMPARE(form.AutoIntervalSeconds, AutoInterval);
    QCOMPARE(form.AutoScatterSeconds, AutoScatter);
    QCOMPARE(form.MenuPage, 2);
    QCOMPARE(form.EntryMode, 0);
    form.Label5Click();
    QCOMPARE(form.MenuPage, 0);

    // The terminus key there and back: the unit stands at stop 0 with an
    // announcement on the clipboard.
    QVERIFY(form.displaySwitchOn());
    form.Label9MouseDown();
    QCOMPARE(int(form.CurrentStop), LastStop);
    form.Label9MouseDown();
    QCOMPARE(int(form.CurrentStop), 0);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromUtf8("nächste Haltestelle: Betriebshof Süd Wendeschleife"));

    form.Label7Click();
    QVERIFY(form.autoAdvanceOn());
    QVERIFY(form.Timer3->Enabled());

    day.start();
    QElapsedTimer clock;
    clock.start();
    day.run();
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(day.ok, qPrintable(day.failure));

    qInfo("%d events in %lld ms: %d steps (%d silent, %d on the menu), %d turns to B, %d to A, "
          "%d fall-backs, %d page changes, %d menu trips; resident %ld KiB after the first hour, %ld KiB at the end; "
          "heap in use %ld bytes after the first hour, %ld bytes at the end",
          day.events, elapsed, day.steps, day.silentSteps, day.stepsOnTheMenu, day.turnsToB, day.turnsToA,
          day.fallBacks, day.pageChanges, day.trips, day.residentAfterFirstHour / 1024, day.residentAtEnd / 1024,
          day.heapAfterFirstHour, day.heapAtEnd);

    // The automatic advance drove the route end to end, many times, with
    // and without the display switch, and the menu got in its way.
    QVERIFY(day.turnsToB >= 20);
    QVERIFY(day.turnsToA >= 20);
    QCOMPARE(int(day.stopsCalled.size()), RouteLength);
    QVERIFY(day.silentSteps > 0);
    QVERIFY(day.silentSteps < day.steps);
    QVERIFY(day.stepsOnTheMenu > 0);
    QVERIFY(day.fallBacks > 0);
    QVERIFY(day.pageChanges > 0);
    QCOMPARE(day.trips, SecondsPerDay / TripEverySeconds);

    // Nothing was created while running, and the whole stop list is intact.
    day.checkNothingCreated();
    QVERIFY2(day.ok, qPrintable(day.failure));
    for (int i = 0; i <= RouteLength; ++i)
        QCOMPARE(bytes(form.Stops[size_t(i)]), i < RouteLength ? bytes(day.names[size_t(i)]) : QByteArray());
    QVERIFY(form.Edit1->text().isEmpty());

#ifdef SOAK_ADDRESS_SANITIZER
    qInfo("resident-set and heap comparisons skipped: AddressSanitizer's quarantine holds freed memory");
#else
    QVERIFY(day.residentAfterFirstHour > 0);
    const long growth = day.residentAtEnd - day.residentAfterFirstHour;
    QVERIFY2(growth <= AllowedGrowthBytes, qPrintable(QStringLiteral("grew by %1 KiB").arg(growth / 1024)));
#endif
#ifdef SOAK_HEAP_IN_USE
    QVERIFY(day.heapAfterFirstHour > 0);
    const long heapGrowth = day.heapAtEnd - day.heapAfterFirstHour;
    QVERIFY2(heapGrowth <= AllowedHeapGrowthBytes,
             qPrintable(QStringLiteral("heap grew by %1 bytes").arg(heapGrowth)));
#endif
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
