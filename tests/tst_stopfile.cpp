// Loading a stop data set from menu page 1: how the bytes of a file become
// stop names, what a load changes and what it leaves alone, and what the
// operator is told when a file cannot be loaded. Files are generated in a
// temporary folder; the dialog answers from a script.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>
#include <text.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Names = QList<QByteArray>;

QByteArray bytes(const tk::Text& text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

// A set of `count` stops named "Stop 0", "Stop 1", ... with CR LF line ends.
QByteArray numberedStops(int count, const char* prefix = "Stop ")
{
    QByteArray data;
    for (int i = 0; i < count; ++i)
        data += prefix + QByteArray::number(i) + "\r\n";
    return data;
}

// One control unit with its sign, on a scripted platform installed before
// either window is built.
struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    // The middle soft key on menu page 1, with `path` chosen in the dialog.
    void load(const QString& path)
    {
        platform.fileAnswers.push_back(path);
        pressLoadKey();
    }
    void cancelLoad()
    {
        platform.fileAnswers.push_back(std::nullopt);
        pressLoadKey();
    }
    void pressLoadKey()
    {
        const std::uint8_t page = form.MenuPage;
        form.MenuPage = 1;
        form.Shape9MouseDown();
        form.MenuPage = page;
    }

    Names loadedNames() const
    {
        Names names;
        for (int i = 0; i < form.StopCount; ++i)
            names << bytes(form.Stops[size_t(i)]);
        return names;
    }

    // Every entry from StopCount on is empty.
    bool restIsEmpty() const
    {
        for (size_t i = form.StopCount; i < form.Stops.size(); ++i)
            if (!form.Stops[i].empty())
                return false;
        return true;
    }
};

} // namespace

class TestStopFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    int fileNumber = 0;

    QString writeFile(const QByteArray& data)
    {
        const QString path = dir.filePath(QStringLiteral("set%1.txt").arg(++fileNumber));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // A previously loaded set of 20 stops, standing at stop 7.
    void loadOldSet(Unit& unit)
    {
        unit.load(writeFile(numberedStops(20, "Alt ")));
        QCOMPARE(int(unit.form.StopCount), 20);
        unit.form.CurrentStop = 7;
    }

    void verifyOldSetIntact(const Unit& unit)
    {
        QCOMPARE(int(unit.form.StopCount), 20);
        QCOMPARE(unit.loadedNames().first(), QByteArray("Alt 0"));
        QCOMPARE(unit.loadedNames().last(), QByteArray("Alt 19"));
        QVERIFY(unit.restIsEmpty());
        QCOMPARE(int(unit.form.CurrentStop), 7);
        QVERIFY(unit.form.StopsLoaded);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
    }

    void readsTheLinesOfAFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Names>("names");

        const Names three{"Aachen", "Bonn", "Celle"};
        QTest::newRow("CR LF") << QByteArray("Aachen\r\nBonn\r\nCelle\r\n") << three;
        QTest::newRow("LF only") << QByteArray("Aachen\nBonn\nCelle\n") << three;
        QTest::newRow("no final line end") << QByteArray("Aachen\r\nBonn\r\nCelle") << three;
        QTest::newRow("mixed line ends") << QByteArray("Aachen\nBonn\r\nCelle") << three;
        QTest::newRow("trailing empty line")
            << QByteArray("Aachen\r\nBonn\r\nCelle\r\n\r\n") << Names{"Aachen", "Bonn", "Celle", ""};
        QTest::newRow("inner empty line")
            << QByteArray("Aachen\r\n\r\nCelle\r\n") << Names{"Aachen", "", "Celle"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << Names{""};
        QTest::newRow("blanks kept")
            << QByteArray("  Aachen \r\n\tBonn\t\r\n   \r\n") << Names{"  Aachen ", "\tBonn\t", "   "};
        QTest::newRow("lone CR left out, line goes on")
            << QByteArray("Aa\rchen\r\nBonn\r\r\nCelle\r") << three;
        QTest::newRow("300 characters") << QByteArray(300, 'x') + "\r\nBonn" << Names{QByteArray(300, 'x'), "Bonn"};
        // Lines far longer than one read of the file, with the CR of a CR LF
        // as the last byte of the first read.
        QTest::newRow("CR LF across reads")
            << QByteArray(65535, 'y') + "\r\nBonn\r\n" << Names{QByteArray(65535, 'y'), "Bonn"};
        QTest::newRow("200000 characters") << QByteArray(200000, 'z') << Names{QByteArray(200000, 'z')};
        QTest::newRow("Windows-1252 umlauts")
            << QByteArray("K\xF6nigstra\xDF" "e\r\nM\xFChlenweg\r\n") << Names{"K\xF6nigstra\xDF" "e", "M\xFChlenweg"};
        QTest::newRow("UTF-8 with BOM kept as bytes")
            << QByteArray("\xEF\xBB\xBFK\xC3\xB6nig\r\nBonn\r\n") << Names{"\xEF\xBB\xBFK\xC3\xB6nig", "Bonn"};
        QTest::newRow("NUL kept") << QByteArray("A\0B\r\n", 5) << Names{QByteArray("A\0B", 3)};
        QTest::newRow("byte 26 at a line start ends the data")
            << QByteArray("Aachen\r\nBonn\r\n\x1a" "Celle\r\nDorf\r\n") << Names{"Aachen", "Bonn"};
        QTest::newRow("byte 26 inside a line is a byte")
            << QByteArray("Aa\x1a" "chen\r\nBonn\x1a\r\n") << Names{"Aa\x1a" "chen", "Bonn\x1a"};
        QTest::newRow("byte 26 first") << QByteArray("\x1a" "Aachen\r\n") << Names{};
        QTest::newRow("empty file") << QByteArray() << Names{};
    }

    void readsTheLinesOfAFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(Names, names);
        Unit unit;
        unit.load(writeFile(content));
        QVERIFY(unit.platform.errors.empty());
        QCOMPARE(unit.loadedNames(), names);
        QVERIFY(unit.restIsEmpty());
        QCOMPARE(int(unit.form.CurrentStop), 0);
        QVERIFY(unit.form.StopsLoaded);
    }

    void theExamplesLoad_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("last");
        QTest::newRow("tram") << "linie-7-tram.txt" << 16 << "Hauptbahnhof" << QString::fromUtf8("Königstraße")
                              << QString::fromUtf8("Waldschänke");
        QTest::newRow("long names") << "lange-namen.txt" << 9 << "Busbahnhof"
                                    << QString::fromUtf8("Kreiskrankenhaus Süd Haupteingang")
                                    << QString::fromUtf8("Wendeschleife Großer Anger");
    }

    void theExamplesLoad()
    {
        QFETCH(QString, file);
        QFETCH(int, count);
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, last);
        const QString path = QFINDTESTDATA(QStringLiteral("../examples/") + file);
        QVERIFY2(!path.isEmpty(), qPrintable(file));
        Unit unit;
        unit.load(path);
        QVERIFY(unit.platform.errors.empty());
        QCOMPARE(int(unit.form.StopCount), count);
        QCOMPARE(tk::toQString(unit.form.Stops[0]), first);
        QCOMPARE(tk::toQString(unit.form.Stops[1]), second);
        QCOMPARE(tk::toQString(unit.form.Stops[size_t(count - 1)]), last);
        // Every name made it through as one line of Windows-1252 text.
        for (int i = 0; i < count; ++i) {
            const tk::Text& name = unit.form.Stops[size_t(i)];
            QVERIFY(!name.empty());
            QVERIFY(name.find_first_of("\r\n") == tk::Text::npos);
            QVERIFY(name.find("\xC3") == tk::Text::npos); // no UTF-8 umlaut
        }
    }

    void aSmallSetReplacesALargeOne()
    {
        Unit unit;
        unit.load(writeFile(numberedStops(20, "Alt ")));
        unit.form.CurrentStop = 7;
        unit.load(writeFile(numberedStops(5, "Neu ")));
        QCOMPARE(unit.loadedNames(), (Names{"Neu 0", "Neu 1", "Neu 2", "Neu 3", "Neu 4"}));
        QVERIFY(unit.restIsEmpty());
        QCOMPARE(int(unit.form.CurrentStop), 0);
    }

    void theListHoldsAtMost99Stops_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("count"); // -1: refused
        QTest::newRow("99 lines") << numberedStops(99) << 99;
        QTest::newRow("99 lines, no final line end") << numberedStops(99).chopped(2) << 99;
        QTest::newRow("99 lines, then byte 26") << numberedStops(99) + "\x1a" + numberedStops(5) << 99;
        QTest::newRow("100 lines") << numberedStops(100) << -1;
        QTest::newRow("99 lines and an empty one") << numberedStops(99) + "\r\n" << -1;
        QTest::newRow("100th line unfinished") << numberedStops(99) + "X" << -1;
        QTest::newRow("5000 lines") << numberedStops(5000) << -1;
    }

    void theListHoldsAtMost99Stops()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, count);
        Unit unit;
        loadOldSet(unit);
        unit.load(writeFile(content));
        if (count >= 0) {
            QVERIFY(unit.platform.errors.empty());
            QCOMPARE(int(unit.form.StopCount), count);
            QCOMPARE(unit.loadedNames().last(), "Stop " + QByteArray::number(count - 1));
            QVERIFY(unit.restIsEmpty());
            QCOMPARE(int(unit.form.CurrentStop), 0);
            return;
        }
        // Refused with the limit stated, and the set in use kept.
        QCOMPARE(unit.platform.errors.size(), size_t(1));
        QCOMPARE(tk::toQString(unit.platform.errors[0]),
                 QStringLiteral("Der Haltestellensatz hat mehr als 99 Haltestellen und kann nicht geladen werden."));
        verifyOldSetIntact(unit);
    }

    void aFailedLoadKeepsTheSetInUse_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << dir.filePath("fehlt.txt") << "File not found.";
        QTest::newRow("missing folder") << dir.filePath("fehlt/linie.txt") << "File not found.";
        QTest::newRow("file used as a folder") << writeFile("A\r\n") + "/linie.txt" << "File not found.";
        QTest::newRow("empty name") << QString() << "Invalid filename.";
        QTest::newRow("name too long") << dir.filePath(QString(5000, u'n')) << "Invalid filename.";
        QTest::newRow("NUL in the name") << dir.filePath(QStringLiteral("a%1b").arg(QChar(u'\0'))) << "Invalid filename.";
        QTest::newRow("a folder") << dir.path() << "File access denied.";
        // An endless device would otherwise be read as one endless line.
        QTest::newRow("a device") << "/dev/zero" << "File access denied.";
        // A pipe without a writer must not hang the program.
        const QString pipe = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QTest::newRow("a named pipe") << pipe << "File access denied.";
        // Opens, then fails on the first read: nothing is mapped at address 0.
        QTest::newRow("read error") << "/proc/self/mem" << QStringLiteral("I/O error %1.").arg(EIO);
    }

    void aFailedLoadKeepsTheSetInUse()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        Unit unit;
        loadOldSet(unit);
        unit.load(path);
        QCOMPARE(unit.platform.errors.size(), size_t(1));
        QCOMPARE(tk::toQString(unit.platform.errors[0]), message);
        verifyOldSetIntact(unit);
    }

    void aFailedFirstLoadLoadsNothing()
    {
        Unit unit;
        unit.load(dir.filePath("fehlt.txt"));
        QCOMPARE(unit.platform.errors.size(), size_t(1));
        QVERIFY(!unit.form.StopsLoaded);
        QCOMPARE(int(unit.form.StopCount), 0);
        QVERIFY(unit.restIsEmpty());
    }

    void aFileWithoutReadPermissionIsRefused()
    {
        if (geteuid() == 0)
            QSKIP("root reads files whatever their permissions say");
        const QString path = writeFile("Aachen\r\n");
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        Unit unit;
        loadOldSet(unit);
        unit.load(path);
        QCOMPARE(unit.platform.errors.size(), size_t(1));
        QCOMPARE(tk::toQString(unit.platform.errors[0]), QStringLiteral("File access denied."));
        verifyOldSetIntact(unit);
    }

    void tooManyOpenFilesIsReported()
    {
        const QString path = writeFile("Aachen\r\n");
        Unit unit;
        loadOldSet(unit);

        // Lower the process's file limit to the lowest free descriptor, so
        // that the next open is refused.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_NOFILE, &saved), 0);
        const int lowestFree = dup(0);
        QVERIFY(lowestFree >= 0);
        close(lowestFree);
        rlimit lowered = saved;
        lowered.rlim_cur = rlim_t(lowestFree);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &lowered), 0);
        unit.load(path);
        QCOMPARE(setrlimit(RLIMIT_NOFILE, &saved), 0);

        QCOMPARE(unit.platform.errors.size(), size_t(1));
        QCOMPARE(tk::toQString(unit.platform.errors[0]), QStringLiteral("Too many open files."));
        verifyOldSetIntact(unit);
    }

    void cancellingChangesNothing()
    {
        Unit unit;
        const QString path = writeFile(numberedStops(20, "Alt "));
        unit.load(path);
        unit.form.CurrentStop = 7;
        unit.cancelLoad();
        QVERIFY(unit.platform.errors.empty());
        QCOMPARE(unit.form.OpenDialog1.FileName, path);
        QCOMPARE(int(unit.form.StopCount), 20);
        QCOMPARE(unit.loadedNames().first(), QByteArray("Alt 0"));
        QCOMPARE(int(unit.form.CurrentStop), 7);
        QVERIFY(unit.form.StopsLoaded);

        Unit fresh;
        fresh.cancelLoad();
        QVERIFY(!fresh.form.StopsLoaded);
        QCOMPARE(int(fresh.form.StopCount), 0);
    }

    void theDialogOffersTheNameChosenLast()
    {
        Unit unit;
        const QString first = writeFile("Aachen\r\n");
        const QString missing = dir.filePath("vertippt.txt");
        unit.load(first);
        unit.cancelLoad();
        unit.load(missing);
        unit.load(first);
        QCOMPARE(unit.platform.fileDialogOffers, (std::vector<QString>{QString(), first, first, missing}));
    }

    void aLoadChangesOnlyTheStopList()
    {
        Unit unit;
        TForm2& form = unit.form;
        loadOldSet(unit);
        // A unit in use: a stop on the sign, the marker moved, the fall-back
        // running, line and destination entered, menu page 1 on the display.
        form.Stops[7] = "Halt";
        form.Shape7->move(229, 100);
        form.Timer2->setInterval(20000);
        form.Timer2->setEnabled(true);
        form.LineNumber = "7";
        form.Destination = "Zentrum";
        form.LineDestinationText = "  7 Zentrum";
        form.DirectionB = true;
        form.Label1->setCaption("Linie / Ziel");
        form.Label3->setCaption("Haltestellensatz laden\r\rHilfe");
        unit.sign.Reset1->trigger();
        unit.sign.schreib("Halt");

        unit.load(writeFile("Neu 0\r\nNeu 1\r\n"));

        QCOMPARE(unit.loadedNames(), (Names{"Neu 0", "Neu 1"}));
        QCOMPARE(int(form.CurrentStop), 0);
        QCOMPARE(QString::fromStdString(readSign(unit.sign)), QStringLiteral("Halt"));
        QCOMPARE(form.Shape7->y(), 100);
        QVERIFY(form.Timer2->Enabled());
        QCOMPARE(form.Timer2->Interval(), 20000);
        QCOMPARE(form.LineNumber, tk::Text("7"));
        QCOMPARE(form.Destination, tk::Text("Zentrum"));
        QCOMPARE(form.LineDestinationText, tk::Text("  7 Zentrum"));
        QVERIFY(form.DirectionB);
        QCOMPARE(form.Label1->Caption(), tk::Text("Linie / Ziel"));
        QCOMPARE(form.Label3->Caption(), tk::Text("Haltestellensatz laden\r\rHilfe"));
    }
};

QTEST_MAIN(TestStopFile)
#include "tst_stopfile.moc"
