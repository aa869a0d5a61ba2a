// Hot paths of the control unit: a stop call with the arrow keys (clear and
// write the sign, the announcement on the clipboard, the route marker, the
// fall-back timer), the fall-back itself, and loading a full stop data set,
// both the reader alone and the whole way from the menu's soft key.

#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>
#include <stopfile.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A route of the full length with names as they appear in real data sets:
// plain, with umlauts and ß, with blanks.
std::vector<tk::Text> routeNames()
{
    static const char* const places[] = {
        "Hauptbahnhof", "Marktplatz", "Rathaus", "Schillerstraße", "Königsplatz",
        "Friedhof", "Am Mühlbach", "Goethestraße", "Stadtwerke", "Kirchweg",
        "Schwimmbad", "Universität", "Lindenallee", "Gewerbegebiet", "Bürgerhaus",
        "Sportplatz", "Klinikum", "Wasserturm", "Brückenstraße", "Alter Hafen",
        "Zoo", "Messe", "Schloss", "Feuerwache", "Berliner Platz",
        "Talstraße", "Post", "Waldfriedhof", "Südbahnhof", "Am Rosengarten",
        "Industriestraße", "Gymnasium", "Heideweg",
    };
    static const char* const suffixes[] = {"", " Nord", " Süd"};
    std::vector<tk::Text> names;
    for (int i = 0; i < stopfile::MaxStops; ++i) {
        const int place = i % int(std::size(places));
        const int suffix = i / int(std::size(places));
        names.push_back(tk::fromUtf8(places[place]) + tk::fromUtf8(suffixes[suffix]));
    }
    return names;
}

// A platform whose file dialog always chooses the same file; everything else
// is scripted as in the tests (no message box, no sleeping).
class FixedFilePlatform : public ScriptedPlatform {
public:
    explicit FixedFilePlatform(QString path) : path_(std::move(path)) {}

    bool openFileDialog(QString& fileName) override
    {
        fileName = path_;
        return true;
    }

private:
    QString path_;
};

} // namespace

class BenchControlUnit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void stopCallDownAndUp();
    void fallBackToLineDestination();
    void readStopFile();
    void loadStopDataSetFromMenu();

private:
    QTemporaryDir scratch_;
    QString stopFilePath_;
    std::vector<tk::Text> names_;
};

void BenchControlUnit::initTestCase()
{
    QVERIFY(scratch_.isValid());
    names_ = routeNames();
    QCOMPARE(int(names_.size()), stopfile::MaxStops);

    // Written once, CR LF line ends as an editor on the workstation leaves them.
    stopFilePath_ = scratch_.filePath(QStringLiteral("linie12.txt"));
    QFile file(stopFilePath_);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const tk::Text& name : names_) {
        const tk::Text line = name + "\r\n";
        QCOMPARE(file.write(line.data(), qint64(line.size())), qint64(line.size()));
    }
    file.close();
}

// One iteration is two stop calls: the down arrow to the second stop, the up
// arrow back to the first. Each one clears and writes the sign, cuts the
// announcement to the real clipboard, moves the marker and restarts the
// fall-back timer.
void BenchControlUnit::stopCallDownAndUp()
{
    TForm1 sign;
    TForm2 form(sign);
    for (size_t i = 0; i < names_.size(); ++i)
        form.Stops[i] = names_[i];
    form.StopCount = std::uint8_t(names_.size());
    form.StopsLoaded = true;
    QVERIFY(form.displaySwitchOn());
    QVERIFY(form.ShowLineDestination);

    QBENCHMARK {
        form.Shape2MouseDown();
        form.Shape1MouseDown();
    }

    QCOMPARE(form.CurrentStop, std::uint8_t(0));
    QCOMPARE(readSign(sign), names_[0]);
    QCOMPARE(QGuiApplication::clipboard()->text(),
             tk::toQString(tk::fromUtf8("nächste Haltestelle: ") + names_[0]
                           + ". Endstelle. Bitte aussteigen"));
    QVERIFY(form.Timer2->Enabled());
}

// The delay after a stop call has run out: clear, write line and destination.
void BenchControlUnit::fallBackToLineDestination()
{
    TForm1 sign;
    TForm2 form(sign);
    form.LineDestinationText = tk::fromUtf8("12 Südbahnhof");

    QBENCHMARK {
        form.Timer2Timer();
    }

    QCOMPARE(readSign(sign), form.LineDestinationText);
    QVERIFY(!form.Timer2->Enabled());
}

void BenchControlUnit::readStopFile()
{
    stopfile::Result result;
    QBENCHMARK {
        result = stopfile::read(stopFilePath_);
    }
    QVERIFY(result.ok());
    QCOMPARE(result.names, names_);
}

// Menu page 1, the second soft key: the file dialog answers at once, then the
// file is read and the stop list replaced.
void BenchControlUnit::loadStopDataSetFromMenu()
{
    FixedFilePlatform platform(stopFilePath_);
    TForm1 sign;
    TForm2 form(sign);
    form.Label5Click();
    QCOMPARE(form.MenuPage, std::uint8_t(1));

    QBENCHMARK {
        form.Shape9MouseDown();
    }

    QVERIFY(platform.errors.empty());
    QVERIFY(form.StopsLoaded);
    QCOMPARE(int(form.StopCount), stopfile::MaxStops);
    QCOMPARE(form.Stops[0], names_[0]);
    QCOMPARE(form.Stops[98], names_[98]);
    QVERIFY(form.Stops[99].empty());
}

QTEST_MAIN(BenchControlUnit)
#include "bench_controlunit.moc"
