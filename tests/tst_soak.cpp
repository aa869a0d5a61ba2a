// A day of service in a few seconds: a route of 99 stops driven by automatic
// advance for 24 virtual hours, with the operator dropping into the menu every
// ten minutes. The timers are fired by calling their handlers on a virtual
// clock. After every event the state record, the route marker, the sign, the
// clipboard and the timers must still agree with each other; no control may
// have been created, and the process may not grow.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <fstream>
#include <functional>
#include <malloc.h>
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
constexpr long AllowedGrowthBytes = 2L * 1024 * 1024;
constexpr long AllowedHeapGrowthBytes = 256L * 1024;

// The route, in Windows-1252: both termini and many stops between them are
// longer than the sign, several carry umlauts or ß, and one line is empty.
std::vector<tk::Text> routeNames()
{
    static const char* const patterns[] = {"Am Großen Garten Ost ", "Müllerstraße ", "Haltestelle ",
                                           "Öhringer Tor ", "Äußere Weberstraße "};
    std::vector<tk::Text> names;
    for (int i = 0; i < RouteLength; ++i)
        names.push_back(i == 0            ? tk::fromUtf8("Betriebshof Süd Wendeschleife")
                        : i == LastStop  ? tk::fromUtf8("Universität Nordcampus Endhaltestelle")
                        : i == EmptyStop ? tk::Text()
                                         : tk::fromUtf8(patterns[i % 5] + std::to_string(i)));
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
// on or giving it a new interval starts a full countdown, and so does a tick.
// A timer switched off and on within one handler (the arrow keys restart the
// fall-back that way) is not seen to restart, so the fall-back may come a
// little early; no check depends on when it comes.
struct VirtualTimer {
    tk::Timer* timer;
    bool enabled = false;
    int interval = 0;
    qint64 dueAt = 0;

    void observe(qint64 now, bool ticked)
    {
        if (timer->Enabled() && (ticked || !enabled || timer->Interval() != interval))
            dueAt = now + timer->Interval();
        enabled = timer->Enabled();
        interval = timer->Interval();
    }
    // An interval of 0 never fires, although the timer stays enabled.
    bool due(qint64 now) const { return enabled && interval > 0 && now >= dueAt; }
};

// The menu trips, one entry per virtual second, each holding the keys pressed
// in that second. Steps of the automatic advance fall in between and turn the
// menu pages themselves.
using Key = void (*)(TForm2&);
#define KEY(handler) +[](TForm2& form) { form.handler(); }
// The terminus key is the one stop call that leaves the marker where it is.
const Key Terminus = KEY(Label9MouseDown);
const std::vector<std::vector<std::vector<Key>>> Trips = {
    // The terminus key on a menu page.
    {{KEY(Label5Click)}, {Terminus}, {KEY(Shape2MouseDown)}, {KEY(Label5Click)}},
    // A stop number typed in the standard view.
    {{KEY(Label5Click)}, {KEY(Shape2MouseDown)}, {KEY(Label5Click)},
     {KEY(Label0CMouseDown), KEY(Label04MouseDown), KEY(Label02MouseDown), KEY(Label0MClick)}},
    // The display switch, so that steps run both announced and silent.
    {{KEY(Label5Click)}, {KEY(Shape2MouseDown)}, {KEY(Label5Click)}, {KEY(Label6Click)}},
    // A new fall-back delay typed on page 2 while the steps go on.
    {{KEY(Label5Click)}, {KEY(Shape2MouseDown), KEY(Shape9MouseDown)}, {KEY(Label07MouseDown)},
     {KEY(Label0MClick)}, {KEY(Label5Click)}},
    // The terminus key in the standard view.
    {{KEY(Label5Click)}, {KEY(Shape2MouseDown)}, {KEY(Label5Click)}, {Terminus}},
};
#undef KEY

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void dayOfService();
};

void TestSoak::dayOfService()
{
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};
    const std::vector<tk::Text> names = routeNames();
    const QString sentenceStart = QString::fromUtf8("nächste Haltestelle: ");
    const auto routeIntact = [&] {
        for (int i = 0; i < RouteLength; ++i)
            if (form.Stops[size_t(i)] != names[size_t(i)])
                return false;
        return form.Stops[RouteLength].empty();
    };

    // The route file, Windows-1252 with CR LF line ends, loaded from menu page 1.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("route.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const tk::Text& name : names)
            file.write(QByteArray::fromStdString(name + "\r\n"));
    }
    form.Label5Click();
    platform.fileAnswers.push_back(path);
    form.Shape9MouseDown();
    QVERIFY(platform.errors.empty());
    QVERIFY(form.StopsLoaded);
    QCOMPARE(int(form.StopCount), RouteLength);
    QVERIFY(routeIntact());

    // Line and destination, longer than the sign.
    platform.inputAnswers = {tk::Text("7"), tk::Text("Hauptbahnhof Nord Ausstieg")};
    form.Shape8MouseDown();
    QCOMPARE(QByteArray::fromStdString(form.LineDestinationText), QByteArray("  7 Hauptbahnhof Nord Ausstieg"));

    // Page 2: fall-back delay 8 s, step interval 4 s, scatter 3 s.
    form.Shape2MouseDown();
    form.Shape9MouseDown();
    form.Label08MouseDown();
    form.Label0MClick();
    form.Shape10MouseDown();
    form.Label04MouseDown();
    form.Label0MClick();
    form.Label03MouseDown();
    form.Label0MClick();
    QCOMPARE(form.Timer2->Interval(), 8000);
    QCOMPARE(form.AutoIntervalSeconds, 4);
    QCOMPARE(form.AutoScatterSeconds, 3);
    form.Label5Click();
    QCOMPARE(form.MenuPage, 0);

    // The terminus key there and back leaves stop 0 announced; then Auto on.
    form.Label9MouseDown();
    form.Label9MouseDown();
    QCOMPARE(int(form.CurrentStop), 0);
    QVERIFY(QGuiApplication::clipboard()->text().startsWith(sentenceStart));
    form.Label7Click();
    QVERIFY(form.autoAdvanceOn());

    const qsizetype formObjects = form.findChildren<QObject*>().size();
    const qsizetype signObjects = sign.findChildren<QObject*>().size();
    const qsizetype widgets = QApplication::allWidgets().size();
    const auto nothingCreated = [&] {
        return form.findChildren<QObject*>().size() == formObjects
               && sign.findChildren<QObject*>().size() == signObjects
               && QApplication::allWidgets().size() == widgets;
    };

    VirtualTimer fallBack{form.Timer2};
    VirtualTimer stepper{form.Timer3};
    fallBack.observe(0, false);
    stepper.observe(0, false);
    qint64 now = 0;
    int turnsToB = 0;
    int turnsToA = 0;
    const char* lastEvent = "";

    // One event, then what must hold after every one.
    const auto event = [&](const char* name, const std::function<void()>& action, bool movesMarker,
                           VirtualTimer* ticking = nullptr) {
        if (QTest::currentTestFailed())
            return;
        lastEvent = name;
        const int stopBefore = form.CurrentStop;
        const bool directionBefore = form.DirectionB;
        action();
        fallBack.observe(now, ticking == &fallBack);
        stepper.observe(now, ticking == &stepper);
        if (ticking == &stepper && form.DirectionB != directionBefore)
            ++(form.DirectionB ? turnsToB : turnsToA);

        QVERIFY(form.StopsLoaded);
        QVERIFY(form.CurrentStop < RouteLength);
        QVERIFY(form.Stops[RouteLength].empty());
        QVERIFY(form.MenuPage == 0 || form.MenuPage == 1 || form.MenuPage == 2 || form.MenuPage == 5);
        QVERIFY(form.EntryMode <= 3);
        QVERIFY(form.Label10->Caption() == (form.DirectionB ? "B" : "A"));
        QVERIFY(form.Shape7->y() >= 63 && form.Shape7->y() <= 151);
        if (movesMarker && form.CurrentStop != stopBefore)
            QCOMPARE(form.Shape7->y(), form.markerTop());
        QVERIFY(sign.PageTicks <= 5);
        QVERIFY(sign.FirstPage.size() <= size_t(TForm1::CellCount));
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(sentenceStart));
        QVERIFY(form.autoAdvanceOn());
        QVERIFY(form.Timer3->Enabled() && form.Timer3->Interval() >= 1000);
    };

    std::deque<std::vector<Key>> trip;
    long residentAfterFirstHour = 0;
    long heapAfterFirstHour = 0;
    for (int second = 1; second <= SecondsPerDay; ++second) {
        now = qint64(second) * 1000;
        platform.time = QTime(0, 0).addSecs(second % SecondsPerDay);

        event("clock tick", [&] { form.Timer1Timer(); }, false);
        if (second % 5 == 0 && sign.Timer1->Enabled())
            event("page change", [&] { sign.Timer1Timer(); }, false);
        if (fallBack.due(now))
            event("fall-back", [&] { form.Timer2Timer(); }, false, &fallBack);
        if (stepper.due(now))
            event("automatic step", [&] { form.Timer3Timer(); }, true, &stepper);
        if (second % TripEverySeconds == 0) {
            const auto& next = Trips[size_t(second / TripEverySeconds) % Trips.size()];
            trip.assign(next.begin(), next.end());
        }
        if (!trip.empty()) {
            for (Key key : trip.front())
                event("menu trip key", [&] { key(form); }, key != Terminus);
            trip.pop_front();
        }
        if (QTest::currentTestFailed()) {
            qInfo("failed at %s (virtual second %d), after the %s",
                  qPrintable(platform.time.toString(QStringLiteral("HH:mm:ss"))), second, lastEvent);
            return;
        }

        // What an event loop would deliver besides timers and input must not
        // pile up. The scripted platform's record of random requests is the
        // test's, not the program's, and must not count as growth.
        if (second % 60 == 0) {
            QCoreApplication::sendPostedEvents();
            platform.randomRequests.clear();
        }
        if (second % 3600 == 0)
            QVERIFY2(nothingCreated(), qPrintable(QStringLiteral("objects changed by hour %1").arg(second / 3600)));
        if (second == 3600) {
            residentAfterFirstHour = residentBytes();
            heapAfterFirstHour = heapInUse();
        }
    }
    const long residentGrowth = residentBytes() - residentAfterFirstHour;
    const long heapGrowth = heapInUse() - heapAfterFirstHour;
    qInfo("%d turns to B, %d to A; resident set grew by %ld KiB, heap in use by %ld bytes after the first hour",
          turnsToB, turnsToA, residentGrowth / 1024, heapGrowth);

    // Automatic advance drove the route end to end many times over.
    QVERIFY(turnsToB >= 20);
    QVERIFY(turnsToA >= 20);

    // Nothing was created or kept while running, and the route is intact.
    QVERIFY(nothingCreated());
    QVERIFY(routeIntact());
    QVERIFY(form.Edit1->text().isEmpty());
#ifdef SOAK_ADDRESS_SANITIZER
    qInfo("memory comparisons skipped: AddressSanitizer's quarantine holds freed memory");
#else
    QVERIFY(residentAfterFirstHour > 0);
    QVERIFY2(residentGrowth <= AllowedGrowthBytes, qPrintable(QStringLiteral("grew by %1 KiB").arg(residentGrowth / 1024)));
#endif
#ifdef SOAK_HEAP_IN_USE
    QVERIFY(heapAfterFirstHour > 0);
    QVERIFY2(heapGrowth <= AllowedHeapGrowthBytes, qPrintable(QStringLiteral("heap grew by %1 bytes").arg(heapGrowth)));
#endif
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
