// Loading a stop data set from menu page 1: the names a file gives, what a
// load changes and what it leaves alone, and what the operator is told when a
// file cannot be loaded. Line splitting on arbitrary bytes is left to the fuzz
// target; here stand the cases an operator meets. Files are generated in a
// temporary folder; the dialog answers from a script.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>
#include <stopfile.h>
#include <text.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstdlib>
#include <new>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Low memory, made to order: while armed, every allocation of at least this
// many bytes fails as it would with the memory used up.
static size_t failAllocationsFrom = size_t(-1);

void* operator new(size_t size)
{
    if (size >= failAllocationsFrom)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using Names = QList<QByteArray>;

// "Stop 0", "Stop 1", ...
Names numberedNames(int count, const char* prefix = "Stop ")
{
    Names names;
    for (int i = 0; i < count; ++i)
        names << prefix + QByteArray::number(i);
    return names;
}

// The names as a file with CR LF line ends.
QByteArray fileOf(const Names& names)
{
    return names.isEmpty() ? QByteArray() : names.join("\r\n") + "\r\n";
}

// One control unit with its sign, on a scripted platform installed before
// either window is built, showing menu page 1.
struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};
    QStringList restBeforeLoad;

    // The middle soft key, with the dialog answering `path` (nullopt: cancel).
    void load(const std::optional<QString>& path)
    {
        restBeforeLoad = rest();
        platform.fileAnswers.push_back(path);
        form.MenuPage = 1;
        form.Shape9MouseDown();
    }

    // The names of stops 0 to StopCount - 1, then any entry after them that
    // is not empty, as none may be.
    Names names() const
    {
        Names names;
        for (size_t i = 0; i < form.Stops.size(); ++i)
            if (i < form.StopCount || !form.Stops[i].empty())
                names << QByteArray(form.Stops[i].data(), qsizetype(form.Stops[i].size()));
        return names;
    }

    // What a load leaves alone: the sign, the route marker, the fall-back,
    // line and destination, the direction and its letter, the automatic
    // advance and the display.
    QStringList rest() const
    {
        return {tk::toQString(readSign(sign)), QString::number(form.Shape7->y()),
                QString::number(form.Timer2->Enabled()), QString::number(form.Timer2->Interval()),
                tk::toQString(form.LineNumber + "|" + form.Destination + "|" + form.LineDestinationText),
                QString::number(form.DirectionB), tk::toQString(form.Label10->Caption()),
                QString::number(form.autoAdvanceOn()), QString::number(form.Timer3->Enabled()),
                tk::toQString(form.Label1->Caption() + "|" + form.Label3->Caption())};
    }
};

} // namespace

class TestStopFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int fileNumber = 0;
    const Names oldNames = numberedNames(20, "Alt ");

    QString writeFile(const QByteArray& data)
    {
        const QString path = dir.filePath(QStringLiteral("set%1.txt").arg(++fileNumber));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // A unit in use: a set of 20 stops, standing at stop 7, a stop on the
    // sign, the marker moved, the fall-back running, line and destination
    // entered.
    QString loadOldSet(Unit& unit)
    {
        const QString path = writeFile(fileOf(oldNames));
        unit.load(path);
        TForm2& form = unit.form;
        form.CurrentStop = 7;
        unit.sign.schreib("Halt");
        form.Shape7->move(229, 100);
        form.Timer2->setInterval(20000);
        form.Timer2->setEnabled(true);
        form.LineNumber = "7";
        form.Destination = "Zentrum";
        form.LineDestinationText = "  7 Zentrum";
        form.DirectionB = true;
        form.Label10->setCaption("B");
        form.Label7Click(); // automatic advance on
        return path;
    }

    // Only the stop list and the current stop may have changed since the old
    // set was in use.
    void verifyUnit(const Unit& unit, const Names& names, int currentStop, const QString& message = QString())
    {
        QCOMPARE(unit.platform.errors.size(), size_t(message.isEmpty() ? 0 : 1));
        if (!message.isEmpty())
            QCOMPARE(tk::toQString(unit.platform.errors[0]), message);
        QCOMPARE(unit.names(), names);
        QCOMPARE(int(unit.form.CurrentStop), currentStop);
        QVERIFY(unit.form.StopsLoaded);
        QCOMPARE(unit.rest(), unit.restBeforeLoad);
    }

    void loads(const char* tag, const QByteArray& content, const Names& names)
    {
        QTest::newRow(tag) << writeFile(content) << names << QString();
    }

    // A load that fails leaves the set in use untouched, so a mistyped name in
    // the dialog never costs the operator the route.
    void isRefused(const char* tag, const QString& path, const QString& message)
    {
        QTest::newRow(tag) << path << oldNames << message;
    }

private slots:
    void aLoadReplacesTheSetInUse_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Names>("names");
        QTest::addColumn<QString>("message");
        const Names three{"Aachen", "Bonn", "Celle"};
        loads("CR LF", "Aachen\r\nBonn\r\nCelle\r\n", three);
        loads("LF only", "Aachen\nBonn\nCelle\n", three);
        loads("no final line end", "Aachen\r\nBonn\r\nCelle", three);
        loads("lone CR left out", "Aa\rchen\r\nBonn\r\r\nCelle\r", three);
        loads("ends with an empty line", "Aachen\r\nBonn\r\n\r\n", {"Aachen", "Bonn", ""});
        loads("inner empty line", "Aachen\r\n\r\nCelle\r\n", {"Aachen", "", "Celle"});
        loads("blanks kept", "  Aachen \r\n   \r\n", {"  Aachen ", "   "});
        loads("300 characters", QByteArray(300, 'x') + "\r\nBonn", {QByteArray(300, 'x'), "Bonn"});
        // Longer than one read of the file, with the read ending between CR and LF.
        loads("CR LF across reads", QByteArray(65535, 'y') + "\r\nBonn", {QByteArray(65535, 'y'), "Bonn"});
        loads("UTF-8 with BOM, byte for byte", "\xEF\xBB\xBFK\xC3\xA4se\r\n", {"\xEF\xBB\xBFK\xC3\xA4se"});
        loads("byte 26 first", "\x1a" "Aachen\r\n", {});
        loads("byte 26 inside a line", "Aa\x1a" "chen\r\n", {"Aa\x1a" "chen"});
        loads("empty file", "", {});
        // The 100 entries hold 99 stops and the empty entry after them.
        const Names most = numberedNames(99);
        loads("99 lines", fileOf(most), most);
        loads("99 lines, no final line end", fileOf(most).chopped(2), most);
        loads("99 lines, then byte 26", fileOf(most) + "\x1a" "A\r\n", most);
        const QString tooMany =
            QStringLiteral("Der Haltestellensatz hat mehr als 99 Haltestellen und kann nicht geladen werden.");
        isRefused("100 lines", writeFile(fileOf(numberedNames(100))), tooMany);
        isRefused("99 lines and an empty one", writeFile(fileOf(most) + "\r\n"), tooMany);
        isRefused("100th line unfinished", writeFile(fileOf(most) + "X"), tooMany);
        isRefused("missing file", dir.filePath("fehlt.txt"), "File not found.");
        isRefused("missing folder", dir.filePath("fehlt/linie.txt"), "File not found.");
        isRefused("file used as a folder", writeFile("A\r\n") + "/linie.txt", "File not found.");
        isRefused("empty name", QString(), "Invalid filename.");
        isRefused("name too long", dir.filePath(QString(5000, u'n')), "Invalid filename.");
        isRefused("NUL in the name", dir.filePath(QStringLiteral("a%1b").arg(QChar(u'\0'))), "Invalid filename.");
        isRefused("a folder", dir.path(), "File access denied.");
        // An endless device would otherwise be read as one endless line.
        isRefused("a device", "/dev/zero", "File access denied.");
        // A pipe without a writer must not hang the program.
        const QString pipe = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        isRefused("a named pipe", pipe, "File access denied.");
        const QString unreadable = writeFile("Aachen\r\n");
        QVERIFY(QFile::setPermissions(unreadable, QFileDevice::WriteOwner));
        isRefused("no read permission", unreadable, "File access denied.");
        // Opens, then fails on the first read: nothing is mapped at address 0.
        isRefused("read error", "/proc/self/mem", QStringLiteral("I/O error %1.").arg(EIO));
        // Refused from its size, before a byte is read: memory and time stay
        // bounded whatever the file. 99 very long names still load.
        const QString tooLarge =
            tk::toQString(tk::fromUtf8("Die Datei ist größer als 1 MB und damit kein Haltestellensatz. Sie wird nicht geladen."));
        isRefused("1 MB and a byte", writeFile(QByteArray(1 << 20, 'x') + "\n"), tooLarge);
        const QString huge = writeFile(QByteArray());
        QVERIFY(QFile::resize(huge, 3LL << 30)); // sparse: nothing is written
        isRefused("3 GB without a line end", huge, tooLarge);
        Names longest;
        for (int i = 0; i < 99; ++i)
            longest << QByteArray(10000, char('A' + i % 26));
        loads("99 names of 10000 characters", fileOf(longest), longest);
    }

    void aLoadReplacesTheSetInUse()
    {
        QFETCH(QString, path);
        QFETCH(Names, names);
        QFETCH(QString, message);
        if (QByteArray(QTest::currentDataTag()) == "no read permission" && geteuid() == 0)
            QSKIP("root reads files whatever their permissions say");
        // Every file is loaded over a longer set: no old name may remain.
        Unit unit;
        loadOldSet(unit);
        unit.load(path);
        verifyUnit(unit, names, message.isEmpty() ? 0 : 7, message);
    }

    void tooManyOpenFilesIsReported()
    {
        const QString path = writeFile("Aachen\r\n");
        Unit unit;
        loadOldSet(unit);
        // The file limit lowered to the lowest free descriptor refuses the next open.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const int lowestFree = dup(0);
        close(lowestFree);
        const rlimit lowered{rlim_t(lowestFree), saved.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
        unit.load(path);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);
        verifyUnit(unit, oldNames, 7, QStringLiteral("Too many open files."));
    }

    void lowMemoryIsReported()
    {
        const QString path = writeFile(QByteArray(200000, 'L'));
        Unit unit;
        loadOldSet(unit);
        failAllocationsFrom = 65536;
        unit.load(path);
        failAllocationsFrom = size_t(-1);
        verifyUnit(unit, oldNames, 7,
                   tk::toQString(tk::fromUtf8(
                       "Für diesen Haltestellensatz reicht der Arbeitsspeicher nicht. Er wird nicht geladen.")));
        // A file that reports no size of its own is measured as it is read.
        QCOMPARE(stopfile::read(QStringLiteral("/proc/self/environ"), 16).status,
                 stopfile::Result::Status::TooLarge);
    }

    void cancellingChangesNothingAndTheDialogRemembers()
    {
        Unit fresh;
        fresh.load(std::nullopt);
        fresh.load(dir.filePath("fehlt.txt"));
        QVERIFY(!fresh.form.StopsLoaded);
        QCOMPARE(fresh.names(), Names{});

        Unit unit;
        const QString oldSet = loadOldSet(unit);
        unit.load(std::nullopt);
        verifyUnit(unit, oldNames, 7);
        // The dialog offers the name chosen last, even a missing one.
        const QString missing = dir.filePath("vertippt.txt");
        unit.load(missing);
        unit.load(std::nullopt);
        QCOMPARE(unit.platform.fileDialogOffers, (std::vector<QString>{QString(), oldSet, oldSet, missing}));
    }

    void theShippedExamplesLoad()
    {
        for (const char* file : {"linie-7-tram.txt", "lange-namen.txt"}) {
            Unit unit;
            unit.load(QFINDTESTDATA(QStringLiteral("../examples/") + file));
            QVERIFY2(unit.platform.errors.empty() && unit.form.StopCount > 2, file);
            // Windows-1252, one name a line.
            for (const QByteArray& name : unit.names())
                QVERIFY2(!name.isEmpty() && !name.contains('\r') && !name.contains('\xC3'), name.constData());
        }
    }
};

QTEST_MAIN(TestStopFile)
#include "tst_stopfile.moc"
