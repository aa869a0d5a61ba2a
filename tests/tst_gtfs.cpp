// Stop lists from timetable feeds, as `pendralumovista --gtfs` gives them:
// small feeds are made here, as folders and as zips, with the quirks that
// published feeds have, and the command's output, exit status and written
// file are checked as a user sees them.

#include <commandline.h>
#include <csv.h>
#include <gtfs.h> // the feed, zip or folder
#include <gtfscommand.h>
#include <interchange.h>

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <zip.h>

#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Files = QMap<QString, QByteArray>;

struct Outcome {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readAll(std::FILE* file)
{
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, qsizetype(count));
    std::fclose(file);
    return bytes;
}

// The command with `arguments`; what it writes to standard output goes to
// `out` where one is given (and is then not read back).
Outcome run(const QStringList& arguments, std::FILE* givenOut = nullptr)
{
    std::vector<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(argument.toUtf8());
    std::vector<char*> pointers;
    for (QByteArray& argument : bytes)
        pointers.push_back(argument.data());
    std::FILE* out = givenOut ? givenOut : std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome outcome;
    outcome.status = gtfscommand::run(pointers, out, err);
    outcome.out = givenOut ? QByteArray() : readAll(out);
    outcome.err = readAll(err);
    return outcome;
}

bool writeFolder(const QString& folder, const Files& files)
{
    if (!QDir().mkpath(folder))
        return false;
    for (auto it = files.begin(); it != files.end(); ++it) {
        QFile file(folder + u'/' + it.key());
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

bool writeZip(const QString& path, const Files& files)
{
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (auto it = files.begin(); it != files.end(); ++it) {
        zip_source_t* source = zip_source_buffer(archive, it.value().constData(), zip_uint64_t(it.value().size()), 0);
        if (!source || zip_file_add(archive, it.key().toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// A feed of one tram line 7 with three trips out and one back, written the
// way a careful agency writes it; the cases below spoil it one way each.
Files tidyFeed()
{
    return {
        {"agency.txt", "agency_id,agency_name\nSW,Stadtwerke\n"},
        {"routes.txt", "route_id,agency_id,route_short_name,route_long_name,route_type\n"
                       "R7,SW,7,Hauptbahnhof - Zoo,0\n"},
        {"trips.txt", "route_id,service_id,trip_id,direction_id,trip_headsign\n"
                      "R7,W,a,0,Zoo\nR7,W,b,0,Zoo\nR7,W,c,0,Zoo\nR7,W,d,1,Hauptbahnhof\n"},
        {"stops.txt", "stop_id,stop_name\nhbf,Hauptbahnhof\nmarkt,Markt\nzoo,Zoo\n"},
        {"stop_times.txt", "trip_id,arrival_time,departure_time,stop_id,stop_sequence\n"
                           "a,08:00:00,08:00:00,hbf,1\na,08:05:00,08:05:00,markt,2\na,08:09:00,08:09:00,zoo,3\n"
                           "b,09:00:00,09:00:00,hbf,1\nb,09:05:00,09:05:00,markt,2\nb,09:09:00,09:09:00,zoo,3\n"
                           "c,10:00:00,10:00:00,hbf,1\nc,10:09:00,10:09:00,zoo,2\n"
                           "d,11:00:00,11:00:00,zoo,1\nd,11:04:00,11:04:00,markt,2\nd,11:09:00,11:09:00,hbf,3\n"},
    };
}

// Tram 7 from Hauptbahnhof to Zoo and back, among other lines: at the
// Hauptbahnhof an S-Bahn and a bus call at other platforms of the station
// and a U-Bahn at the station itself,
// at Markt three trams and a bus at the same stop, at Wiese nothing else,
// at Zoo a bus named only by its long name. Their trips come before the
// tram's, and stops.txt lists the stops out of the route's order.
Files interchangeFeed()
{
    return {
        {"routes.txt", "route_id,route_short_name,route_long_name,route_type\n"
                       "R7,7,Hauptbahnhof - Zoo,0\nR12,12,,0\nR5,5,,900\nR3,3,,0\nS1,S1,,2\nB42,42,,3\n"
                       "BZ,,Zoo-Express,700\nU2,U2,,1\n"},
        {"trips.txt", "route_id,trip_id,direction_id\nR12,t12,0\nR5,t5,0\nR3,t3,0\nS1,s1,0\nB42,b42,0\n"
                      "BZ,bz,0\nU2,u2,0\nR7,a,0\nR7,d,1\n"},
        {"stops.txt", "stop_id,stop_name,parent_station,location_type\nzoo,Zoo,,0\nmarkt,Markt,,0\n"
                      "hbf_s,Hauptbahnhof Gleis 2,hbf,0\nhbf,Hauptbahnhof,,1\nwiese,Wiese,,0\n"
                      "hbf_7,Hauptbahnhof,hbf,0\nhbf_b,Hauptbahnhof Bus,hbf,0\nweit,Weit weg,,0\n"},
        {"stop_times.txt", "trip_id,stop_id,stop_sequence\n"
                           "t12,markt,1\nt12,weit,2\nt5,weit,1\nt5,markt,2\nt3,markt,1\n"
                           "s1,weit,1\ns1,hbf_s,2\nb42,hbf_b,1\nb42,markt,2\nbz,weit,1\nbz,zoo,2\nu2,hbf,1\n"
                           "a,hbf_7,1\na,markt,2\na,wiese,3\na,zoo,4\nd,zoo,1\nd,wiese,2\nd,markt,3\nd,hbf_7,4\n"},
    };
}

QByteArray lines(const QList<QByteArray>& names)
{
    return names.join("\r\n") + "\r\n";
}

// The CSV reader's records for `input` fed in pieces of `piece` bytes, each
// as "line:field|field", cut to `needed` fields (0: all).
QStringList csvRecords(const QByteArray& input, qsizetype piece, std::size_t needed = 0)
{
    QStringList seen;
    transit::csv::Reader reader([&](const transit::csv::Record& record, std::uint64_t line) {
        QStringList fields;
        for (const std::string_view field : record)
            fields << QString::fromUtf8(field.data(), qsizetype(field.size()));
        seen << QString::number(line) + u':' + fields.join(u'|');
        return true;
    });
    if (needed)
        reader.setFieldsNeeded(needed);
    for (qsizetype at = 0; at < input.size(); at += piece)
        reader.feed(std::string_view(input.constData() + at, size_t(std::min(piece, input.size() - at))));
    reader.finish();
    return seen;
}
} // namespace

class GtfsTest : public QObject {
    Q_OBJECT

    QTemporaryDir scratch;
    int feeds = 0;

    // The feed as a folder, or as a zip when `zipped`.
    QString feed(const Files& files, bool zipped = false)
    {
        const QString path = scratch.filePath(QStringLiteral("feed%1%2").arg(++feeds).arg(zipped ? ".zip" : ""));
        const bool written = zipped ? writeZip(path, files) : writeFolder(path, files);
        return written ? path : QString();
    }

private slots:
    void quirksOfPublishedFeeds_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("stopFile");
        QTest::addColumn<QByteArray>("said"); // a part of what the command says

        QTest::newRow("tidy: the sequence most trips run, with the counts")
            << tidyFeed() << QStringList{"--linie", "7"} << lines({"Hauptbahnhof", "Markt", "Zoo"})
            << QByteArray("Richtung 0 nach Zoo: 3 Haltestellen; 2 Fahrten mit dieser Folge, 1 Fahrt mit einer anderen.");
        QTest::newRow("the other direction")
            << tidyFeed() << QStringList{"--linie", "7", "--richtung", "1"}
            << lines({"Zoo", "Markt", "Hauptbahnhof"}) << QByteArray("Richtung 1 nach Hauptbahnhof: 3 Haltestellen");

        Files bom = tidyFeed();
        for (const QString& name : bom.keys())
            bom[name].prepend("\xEF\xBB\xBF");
        QTest::newRow("byte-order marks") << bom << QStringList{"--linie", "7"} << lines({"Hauptbahnhof", "Markt", "Zoo"})
                                          << QByteArray("nach Zoo");

        // Quoted names with a comma, quotes and a line break (a blank on the
        // sign, and said so); columns in another order with extra ones; CR LF.
        Files quoted = tidyFeed();
        quoted["stops.txt"] = "zone_id,stop_name,stop_lat,stop_id\r\n"
                              "1,\"Hauptbahnhof, Nord\",50.1,hbf\r\n2,\"Markt \"\"Alte Post\"\"\",50.2,markt\r\n"
                              "3,\"Zoo\nHaupteingang\",50.3,zoo\r\n";
        QTest::newRow("quoted fields, any column order")
            << quoted << QStringList{"--linie", "7"}
            << lines({"Hauptbahnhof, Nord", "Markt \"Alte Post\"", "Zoo Haupteingang"}) << QByteArray("U+000A → Leerzeichen");

        // stop_sequence with gaps, rows of the trips mixed and out of order.
        Files shuffled = tidyFeed();
        shuffled["stop_times.txt"] = "stop_sequence,stop_id,trip_id\n"
                                     "30,zoo,a\n20,zoo,c\n10,hbf,b\n10,hbf,a\n20,markt,a\n"
                                     "30,zoo,b\n10,hbf,c\n20,markt,b\n7,hbf,d\n3,zoo,d\n5,markt,d\n";
        QTest::newRow("gaps and any order") << shuffled << QStringList{"--linie", "7"}
                                            << lines({"Hauptbahnhof", "Markt", "Zoo"})
                                            << QByteArray("2 Fahrten mit dieser Folge, 1 Fahrt mit einer anderen");

        // A trip whose rows come in two parts, and another trip that runs
        // just the second part: each keeps its own stops.
        Files parts = tidyFeed();
        parts["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\nc,hbf,1\nc,zoo,2\na,markt,2\na,zoo,3\n"
                                  "b,markt,2\nb,zoo,3\n";
        QTest::newRow("a trip in two parts") << parts << QStringList{"--linie", "7"} << lines({"Hauptbahnhof", "Markt", "Zoo"})
                                             << QByteArray("1 Fahrt mit dieser Folge, 2 Fahrten mit einer anderen");

        // Trips that turn short: the first rows of a longer trip, and no more.
        Files shortTurns = tidyFeed();
        shortTurns["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\na,markt,2\na,zoo,3\n"
                                       "b,hbf,1\nb,markt,2\nc,hbf,1\nc,markt,2\n";
        QTest::newRow("short turns") << shortTurns << QStringList{"--linie", "7"} << lines({"Hauptbahnhof", "Markt"})
                                     << QByteArray("2 Fahrten mit dieser Folge, 1 Fahrt mit einer anderen");

        // Without direction_id and trip_headsign: the last stop is the
        // destination; with a stop_headsign at the first stop, that.
        Files bare = tidyFeed();
        bare["trips.txt"] = "route_id,trip_id\nR7,a\nR7,b\n";
        bare.remove("agency.txt");
        QTest::newRow("no directions, no headsigns")
            << bare << QStringList{"--linie", "7"} << lines({"Hauptbahnhof", "Markt", "Zoo"})
            << QByteArray("Linie 7, Richtung 0 (aus der Haltestellenfolge) nach Zoo: 3 Haltestellen");
        Files stopHeadsign = bare;
        stopHeadsign["stop_times.txt"] = "trip_id,stop_id,stop_sequence,stop_headsign\n"
                                         "a,hbf,1,Tierpark\na,markt,2,\na,zoo,3,\n";
        QTest::newRow("stop_headsign of the first stop") << stopHeadsign << QStringList{"--linie", "7"}
                                                         << lines({"Hauptbahnhof", "Markt", "Zoo"})
                                                         << QByteArray("nach Tierpark");

        // Platforms: their own name where they have one, else the station's.
        Files platforms = tidyFeed();
        platforms["stops.txt"] = "stop_id,stop_name,parent_station,location_type\n"
                                 "hbf,Hauptbahnhof,,1\nhbf:3,Hauptbahnhof Gleis 3,hbf,0\nhbf:4,,hbf,0\n"
                                 "markt,Markt,,0\nzoo,Zoo,,0\n";
        platforms["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf:4,1\na,markt,2\na,zoo,3\n"
                                      "d,zoo,1\nd,markt,2\nd,hbf:3,3\n";
        QTest::newRow("parent_station, forward") << platforms << QStringList{"--linie", "7"}
                                                 << lines({"Hauptbahnhof", "Markt", "Zoo"}) << QByteArray("1 Fahrt mit");
        QTest::newRow("parent_station, back") << platforms << QStringList{"--linie", "7", "--richtung", "1"}
                                              << lines({"Zoo", "Markt", "Hauptbahnhof Gleis 3"}) << QByteArray("1 Fahrt mit");

        // A ring whose name is a word: first and last stop the same.
        Files ring = tidyFeed();
        ring["routes.txt"] = "route_id,route_short_name,route_type\nRN,Nord,3\n";
        ring["trips.txt"] = "route_id,trip_id\nRN,r\n";
        ring["stop_times.txt"] = "trip_id,stop_id,stop_sequence\nr,hbf,1\nr,markt,2\nr,zoo,3\nr,hbf,4\n";
        QTest::newRow("ring named by a word")
            << ring << QStringList{"--linie", "Nord"} << lines({"Hauptbahnhof", "Markt", "Zoo", "Hauptbahnhof"})
            << QByteArray("Als Liniennummer gilt „Nord“, keine Nummer aus bis zu drei Ziffern");

        // No direction_id anywhere: trips that run the stops the other way
        // are the other direction, within one route or in a route of their
        // own with the same short name, as agencies split lines.
        Files bothWays = tidyFeed();
        bothWays["trips.txt"] = "route_id,trip_id,trip_headsign\nR7,a,Zoo\nR7,b,Zoo\nR7,c,Zoo\nR7,d,Hauptbahnhof\n";
        QTest::newRow("one route both ways, no direction_id")
            << bothWays << QStringList{"--linie", "7", "--richtung", "1"} << lines({"Zoo", "Markt", "Hauptbahnhof"})
            << QByteArray("Linie 7, Richtung 1 (aus der Haltestellenfolge) nach Hauptbahnhof: 3 Haltestellen; 1 Fahrt");
        Files perDirection = bothWays;
        perDirection["routes.txt"] = "route_id,agency_id,route_short_name,route_type\n1A,SW,1,3\n1B,SW,1,3\n";
        perDirection["trips.txt"] = "route_id,trip_id\n1A,a\n1A,b\n1A,c\n1B,d\n";
        QTest::newRow("a route per direction, first way")
            << perDirection << QStringList{"--linie", "1"} << lines({"Hauptbahnhof", "Markt", "Zoo"})
            << QByteArray("Linie 1, Richtung 0 (aus der Haltestellenfolge, route_id 1A) nach Zoo: 3 Haltestellen; "
                          "2 Fahrten mit dieser Folge, 1 Fahrt mit einer anderen.");
        QTest::newRow("a route per direction, the way back")
            << perDirection << QStringList{"--linie", "1", "--richtung", "1"} << lines({"Zoo", "Markt", "Hauptbahnhof"})
            << QByteArray("Linie 1, Richtung 1 (aus der Haltestellenfolge, route_id 1B) nach Hauptbahnhof: 3 Haltestellen");
        Files otherStreets = perDirection;
        otherStreets["stops.txt"] += "zs,Zoo Süd\nhs,Hauptbahnhof Süd\n";
        otherStreets["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\na,markt,2\na,zoo,3\nd,zs,1\nd,hs,2\n";
        QTest::newRow("a route per direction, back on other streets")
            << otherStreets << QStringList{"--linie", "1", "--richtung", "1"} << lines({"Zoo S\xfc" "d", "Hauptbahnhof S\xfc" "d"})
            << QByteArray("Richtung 1 (aus der Haltestellenfolge, route_id 1B) nach Hauptbahnhof Süd");
        // A ring run both ways: the order of its stops between the ends tells.
        Files rings = tidyFeed();
        rings["trips.txt"] = "route_id,trip_id\nR7,a\nR7,d\n";
        rings["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\na,markt,2\na,zoo,3\na,hbf,4\n"
                                  "d,hbf,1\nd,zoo,2\nd,markt,3\nd,hbf,4\n";
        QTest::newRow("a ring both ways") << rings << QStringList{"--linie", "7", "--richtung", "1"}
                                          << lines({"Hauptbahnhof", "Zoo", "Markt", "Hauptbahnhof"})
                                          << QByteArray("Richtung 1 (aus der Haltestellenfolge) nach Hauptbahnhof");

        // Names as some feeds write them: decomposed umlauts (NFD), a quoted
        // name that ends in a line break, a stop_id given twice.
        Files decomposed = tidyFeed();
        decomposed["stops.txt"] = "stop_id,stop_name\nhbf,Hauptbahnhof\nmarkt,Mu\xCC\x88hlenstra\xC3\x9F" "e\nzoo,Zoo\n";
        decomposed["trips.txt"].replace(",Zoo\n", ",Zoo Mu\xCC\x88hle\n");
        QTest::newRow("decomposed umlauts") << decomposed << QStringList{"--linie", "7"}
                                            << lines({"Hauptbahnhof", "M\xfchlenstra\xdf" "e", "Zoo"})
                                            << QByteArray("Richtung 0 nach Zoo M\xC3\xBChle: 3 Haltestellen");
        Files lineBreak = tidyFeed();
        lineBreak["stops.txt"] = "stop_id,stop_name\nhbf,\"Hauptbahnhof\r\n\"\nmarkt,\" Markt\n\"\nzoo,Zoo\n";
        QTest::newRow("a quoted name ends in a line break") << lineBreak << QStringList{"--linie", "7"}
                                                            << lines({"Hauptbahnhof", "Markt", "Zoo"}) << QByteArray("nach Zoo");
        Files twice = tidyFeed();
        twice["stops.txt"] += "markt,Marktplatz\n";
        QTest::newRow("a stop_id given twice")
            << twice << QStringList{"--linie", "7"} << lines({"Hauptbahnhof", "Markt", "Zoo"})
            << QByteArray("stops.txt nennt die Haltestelle „markt“ zweimal, in Zeile 3 und 5; es gilt die erste.\n");

        // As many trips on each of two sequences: the longer wins.
        Files tie = tidyFeed();
        tie["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\na,zoo,2\nb,hbf,1\nb,markt,2\nb,zoo,3\n";
        // Names longer than the input boxes take: the last character kept
        // and the first one cut.
        Files longNames = tidyFeed();
        const QByteArray longest = "Hauptbahnhof " + QByteArray(242, 'h');
        const QByteArray tooLong = "Markt " + QByteArray(250, 'm');
        longNames["stops.txt"] = "stop_id,stop_name\nhbf," + longest + "\nmarkt," + tooLong + "\nzoo,Zoo\n";
        QTest::newRow("names of 255 and 256 characters")
            << longNames << QStringList{"--linie", "7"} << lines({longest, tooLong.left(255), "Zoo"})
            << QByteArray("Namen über 255 Zeichen sind dort abgeschnitten.");

        QTest::newRow("a tie goes to the longer") << tie << QStringList{"--linie", "7"}
                                                  << lines({"Hauptbahnhof", "Markt", "Zoo"})
                                                  << QByteArray("1 Fahrt mit dieser Folge, 1 Fahrt mit einer anderen");

        // Routes of one line and agency count together; the route_id names one.
        Files split = tidyFeed();
        split["routes.txt"] += "R7b,SW,7,,0\n";
        split["trips.txt"] += "R7b,W,e,0,Zoo\nR7b,W,f,0,Zoo\nR7b,W,g,0,Zoo\n";
        split["stop_times.txt"] = "trip_id,stop_id,stop_sequence\n"
                                  "a,hbf,1\na,markt,2\na,zoo,3\nb,hbf,1\nb,markt,2\nb,zoo,3\nc,hbf,1\nc,zoo,2\n"
                                  "e,hbf,1\ne,zoo,2\nf,hbf,1\nf,zoo,2\ng,hbf,1\ng,zoo,2\n";
        QTest::newRow("one line in two routes") << split << QStringList{"--linie", "7"}
                                                << lines({"Hauptbahnhof", "Zoo"})
                                                << QByteArray("4 Fahrten mit dieser Folge, 2 Fahrten mit einer anderen");
        QTest::newRow("a route_id picks one") << split << QStringList{"--linie", "R7"}
                                              << lines({"Hauptbahnhof", "Markt", "Zoo"}) << QByteArray("2 Fahrten mit");
    }

    void quirksOfPublishedFeeds()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, stopFile);
        QFETCH(QByteArray, said);
        for (const bool zipped : {false, true}) {
            const QString path = feed(files, zipped);
            QVERIFY(!path.isEmpty());
            const QString output = path + ".txt";
            const Outcome outcome = run(QStringList{path} + options + QStringList{"--ausgabe", output});
            QVERIFY2(outcome.status == 0, outcome.err.constData());
            QVERIFY2(outcome.out.contains(said), outcome.out.constData());
            QFile written(output);
            QVERIFY(written.open(QIODevice::ReadOnly));
            QCOMPARE(written.readAll(), stopFile);
            // Without --ausgabe the same bytes go to standard output, and
            // what is said goes beside them.
            const Outcome toStandardOutput = run(QStringList{path} + options);
            QCOMPARE(toStandardOutput.out, stopFile);
            QVERIFY(toStandardOutput.err.contains(said));
        }
    }

    // The listing: every line with its directions, lines split by the agency
    // told apart, and a line that gives no list marked in one line while
    // the others are listed all the same.
    void routesListed_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QString>("listing");

        Files files = tidyFeed();
        files["routes.txt"] += "RN,SW,Nord,Ringbus,3\n";
        QTest::newRow("tidy") << files
                              << QString::fromUtf8("Linie 7 · Hauptbahnhof - Zoo · Stadtwerke · Straßenbahn\n"
                                                   "  Richtung 0: nach Zoo, 3 Haltestellen\n"
                                                   "  Richtung 1: nach Hauptbahnhof, 3 Haltestellen\n"
                                                   "Linie Nord · Ringbus · Stadtwerke · Bus\n"
                                                   "  keine Fahrten\n");

        const QString tidyLine = QString::fromUtf8("Linie 7 · Hauptbahnhof - Zoo · Stadtwerke · Straßenbahn\n"
                                                   "  Richtung 0: nach Zoo, 3 Haltestellen\n"
                                                   "  Richtung 1: nach Hauptbahnhof, 3 Haltestellen\n");
        // Zipped with the folder it was made in, as some agencies do.
        Files inFolder;
        for (auto it = files.begin(); it != files.end(); ++it)
            inFolder["gtfs_de/" + it.key()] = it.value();
        inFolder["gtfs_de/routes.txt"] = tidyFeed()["routes.txt"];
        QTest::newRow("the files in a folder of the zip") << inFolder << tidyLine;
        // Control characters (C0, DEL, C1) would move a terminal's cursor or
        // start an escape sequence: each shows as "?".
        Files escapes = tidyFeed();
        escapes["routes.txt"].replace("Hauptbahnhof - Zoo", "Hauptbahnhof\x1b[2J\x7f - Zoo\xc2\x9b" "0m");
        QTest::newRow("control characters in a name")
            << escapes << QString(tidyLine).replace(QStringLiteral("Hauptbahnhof - Zoo"), QStringLiteral("Hauptbahnhof?[2J? - Zoo?0m"));

        Files split = tidyFeed();
        split["routes.txt"] = "route_id,agency_id,route_short_name,route_long_name,route_type\n"
                              "R7,SW,7,Hauptbahnhof - Zoo,0\n1A,SW,1,,3\n1B,SW,1,,3\nX1,VB,1,,3\n";
        split["agency.txt"] += "VB,Verkehrsbetrieb\n";
        split["trips.txt"] = "route_id,trip_id,trip_headsign\nR7,a,Zoo\nR7,d,Hauptbahnhof\n1A,e,\n1B,f,\nX1,g,\n";
        split["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\na,markt,2\na,zoo,3\n"
                                  "d,zoo,1\nd,markt,2\nd,hbf,3\ne,hbf,1\ne,zoo,2\nf,zoo,1\nf,hbf,2\ng,markt,1\ng,zoo,2\n";
        QTest::newRow("no direction_id, a route per direction")
            << split
            << QString::fromUtf8("Linie 7 · Hauptbahnhof - Zoo · Stadtwerke · Straßenbahn\n"
                                 "  Richtung 0 (aus der Haltestellenfolge): nach Zoo, 3 Haltestellen\n"
                                 "  Richtung 1 (aus der Haltestellenfolge): nach Hauptbahnhof, 3 Haltestellen\n"
                                 "Linie 1 · Stadtwerke · Bus · route_id 1A, 1B\n"
                                 "  Richtung 0 (aus der Haltestellenfolge, route_id 1A): nach Zoo, 2 Haltestellen\n"
                                 "  Richtung 1 (aus der Haltestellenfolge, route_id 1B): nach Hauptbahnhof, 2 Haltestellen\n"
                                 "Linie 1 · Verkehrsbetrieb · Bus · route_id X1\n"
                                 "  Richtung 0 (aus der Haltestellenfolge): nach Zoo, 2 Haltestellen\n");

        Files bad = tidyFeed();
        bad["routes.txt"] += "R8,SW,8,,3\nR9,SW,9,,3\nR10,SW,10,,3\nRF,SW,F,Rufbus,715\n";
        bad["trips.txt"] += "R8,W,t8,0,Zoo\nR9,W,t9,0,Zoo\nR10,W,t10,links,Zoo\nRF,W,tf,0,\n";
        bad["stop_times.txt"] = "trip_id,stop_id,stop_sequence,location_group_id\n"
                                "a,hbf,1,\na,markt,2,\na,zoo,3,\nd,zoo,1,\nd,markt,2,\nd,hbf,3,\n"
                                "t8,hbf,1,\nt8,zoo,zwei,\nt9,hbf,1,\nt9,weg,2,\nt10,hbf,1,\ntf,,1,nord\ntf,,2,sued\n";
        QTest::newRow("bad lines among good ones")
            << bad
            << QString::fromUtf8("Linie 7 · Hauptbahnhof - Zoo · Stadtwerke · Straßenbahn\n"
                                 "  Richtung 0: nach Zoo, 3 Haltestellen\n"
                                 "  Richtung 1: nach Hauptbahnhof, 3 Haltestellen\n"
                                 "Linie 8 · Stadtwerke · Bus · fehlerhaft: stop_times.txt, Zeile 9: stop_sequence "
                                 "„zwei“ ist keine ganze Zahl von 0 an\n"
                                 "Linie 9 · Stadtwerke · Bus · fehlerhaft: die Haltestelle „weg“ aus stop_times.txt "
                                 "fehlt in stops.txt\n"
                                 "Linie 10 · Stadtwerke · Bus · fehlerhaft: trips.txt, Zeile 8: direction_id „links“ "
                                 "ist weder 0 noch 1\n"
                                 "Linie F · Rufbus · Stadtwerke · Bus · Rufbus nach Bedarf (GTFS-Flex), ohne feste "
                                 "Haltestellen\n");
    }

    void routesListed()
    {
        QFETCH(Files, files);
        QFETCH(QString, listing);
        const Outcome outcome = run({feed(files, true), "--linien"});
        QCOMPARE(outcome.status, 0);
        QCOMPARE(QString::fromUtf8(outcome.out), listing);
        QCOMPARE(outcome.err, QByteArray());
    }

    // Names in Windows-1252 for the file: replacements listed in one line,
    // and what the sign cannot show named.
    void namesOutsideWindows1252()
    {
        Files files = tidyFeed();
        files["stops.txt"] = "stop_id,stop_name\nhbf,Kraków Główny\nmarkt,Łódź Fabryczna\nzoo,Αθήνα – Café\n";
        const QString output = scratch.filePath("namen.txt");
        const Outcome outcome = run({feed(files), "--linie", "7", "--ausgabe", output});
        QCOMPARE(outcome.status, 0);
        QFile written(output);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), lines({"Krak\xf3w Gl\xf3wny", "L\xf3" "dz Fabryczna", "????? \x96 Caf\xe9"}));
        const QString said = QString::fromUtf8(outcome.out);
        QVERIFY2(said.contains(QString::fromUtf8("Ersetzt, weil Windows-1252 sie nicht kennt: ")), qPrintable(said));
        for (const char* replaced : {"ł → l", "Ł → L", "ź → z", "Α → ?", "θ → ?"})
            QVERIFY2(said.contains(QString::fromUtf8(replaced)), replaced);
        QCOMPARE(said.count(QStringLiteral("Ersetzt")), 1);
        QVERIFY2(said.contains(QString::fromUtf8("sie bleiben dunkel: ó – é\n")), qPrintable(said));
    }

    // The control unit holds 99 stops: a longer route is refused with its
    // count, and --von/--bis takes a stretch of it.
    void moreThan99Stops()
    {
        Files files = tidyFeed();
        QByteArray stops = "stop_id,stop_name\n";
        QByteArray times = "trip_id,stop_id,stop_sequence\n";
        QList<QByteArray> names;
        for (int i = 1; i <= 150; ++i) {
            names << "Halt " + QByteArray::number(i);
            stops += "s" + QByteArray::number(i) + "," + names.last() + "\n";
            times += "a,s" + QByteArray::number(i) + "," + QByteArray::number(i) + "\n";
        }
        files["stops.txt"] = stops;
        files["stop_times.txt"] = times;
        const QString path = feed(files);
        const QString output = scratch.filePath("lang.txt");
        const Outcome refused = run({path, "--linie", "7", "--ausgabe", output});
        QCOMPARE(refused.status, 2);
        QCOMPARE(refused.err, QByteArray("pendralumovista: die Linie „7“ hat in Richtung 0 150 Haltestellen, ein "
                                         "Haltestellensatz höchstens 99; --von N --bis M wählt einen Abschnitt.\n"));
        QVERIFY(!QFile::exists(output));

        const Outcome stretch = run({path, "--linie", "7", "--von", "60", "--bis", "150"});
        QCOMPARE(stretch.status, 0);
        QCOMPARE(stretch.out, lines(names.mid(59)));
        QVERIFY(stretch.err.contains("91 Haltestellen (60 bis 150 von 150)"));
        QCOMPARE(run({path, "--linie", "7", "--bis", "99"}).out, lines(names.mid(0, 99)));
        QCOMPARE(run({path, "--linie", "7", "--von", "52"}).out, lines(names.mid(51)));
        // A stretch of one stop, from and to the same.
        QCOMPARE(run({path, "--linie", "7", "--von", "5", "--bis", "5"}).out, lines(names.mid(4, 1)));
        QCOMPARE(run({path, "--linie", "7", "--von", "51"}).status, 2);
        QCOMPARE(run({path, "--linie", "7", "--von", "1", "--bis", "100"}).status, 2);
        QCOMPARE(run({path, "--linie", "7", "--bis", "151"}).status, 2);
    }

    // Each bad input: one German line, status 2, and no file at all, even
    // where one of that name was there before.
    void badInput_data()
    {
        QTest::addColumn<QString>("feedPath");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("message");

        const QString notZip = scratch.filePath("kein.zip");
        QFile file(notZip);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("route_id,route_short_name\nR7,7\n");
        file.close();
        QTest::newRow("not a zip") << notZip << QStringList{"--linie", "7"} << QByteArray("„" + notZip.toUtf8() + "“ ist keine Zip-Datei.");
        // A zip cut off in its download, and one with a member spoilt in the
        // middle of its packed bytes.
        QFile whole(feed(tidyFeed(), true));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray zipBytes = whole.readAll();
        const QString cut = scratch.filePath("abgeschnitten.zip");
        QFile cutFile(cut);
        QVERIFY(cutFile.open(QIODevice::WriteOnly) && cutFile.write(zipBytes.left(zipBytes.size() / 2)) > 0);
        cutFile.close();
        QTest::newRow("a zip cut off") << cut << QStringList{"--linie", "7"}
                                       << QByteArray("„" + cut.toUtf8() + "“ ist als Zip-Datei beschädigt oder abgeschnitten.");
        Files spoilable = tidyFeed();
        spoilable["stop_times.txt"] = "trip_id,stop_id,stop_sequence\n" + QByteArray("a,hbf,1\na,markt,2\na,zoo,3\n").repeated(400);
        QFile spoilt(feed(spoilable, true));
        QVERIFY(spoilt.open(QIODevice::ReadWrite));
        QByteArray spoiltBytes = spoilt.readAll();
        const qsizetype member = spoiltBytes.indexOf("stop_times.txt");
        QVERIFY(member > 0);
        for (qsizetype at = member + 40; at < member + 60; ++at)
            spoiltBytes[at] = char(spoiltBytes[at] ^ 0x55);
        QVERIFY(spoilt.seek(0) && spoilt.write(spoiltBytes) == spoiltBytes.size());
        spoilt.close();
        QTest::newRow("a member spoilt") << spoilt.fileName() << QStringList{"--linie", "7"}
                                         << QByteArray("stop_times.txt im Zip kann nicht entpackt werden: die gepackten Daten sind beschädigt.");
        // Not UTF-8: as an office program saves "Unicode", and Latin-1.
        Files utf16 = tidyFeed();
        utf16["stops.txt"] = "\xFF\xFE";
        for (const char c : QByteArray("stop_id,stop_name\nhbf,Hbf\n"))
            utf16["stops.txt"] += QByteArray(1, c) + QByteArray(1, '\0');
        QTest::newRow("UTF-16") << feed(utf16) << QStringList{"--linie", "7"}
                                << QByteArray("stops.txt ist in UTF-16 gespeichert; ein Feed ist in UTF-8.");
        Files latin1 = tidyFeed();
        latin1["stops.txt"] = "stop_id,stop_name\nhbf,Hauptbahnhof\nmarkt,M\xfchlenstra\xdf" "e\nzoo,Zoo\n";
        QTest::newRow("Latin-1") << feed(latin1) << QStringList{"--linie", "7"}
                                 << QByteArray("stops.txt, Zeile 3: der Text „M�hlenstra�e“ ist nicht in UTF-8 (vielleicht "
                                               "Latin-1 oder Windows-1252); ein Feed ist in UTF-8.");
        // What a message quotes from the feed is cut: a field may hold a megabyte.
        Files longLatin1 = latin1;
        longLatin1["stops.txt"] = "stop_id,stop_name\nhbf,Hauptbahnhof\nmarkt,M\xfc" + QByteArray(500'000, 'x') + "\nzoo,Zoo\n";
        QTest::newRow("Latin-1, a long name")
            << feed(longLatin1) << QStringList{"--linie", "7"}
            << QByteArray("stops.txt, Zeile 3: der Text „M�" + QByteArray(76, 'x') + "…“ ist nicht in UTF-8 (vielleicht "
                          "Latin-1 oder Windows-1252); ein Feed ist in UTF-8.");
        QTest::newRow("no pronunciations for --aussprache-ausgabe")
            << feed(tidyFeed()) << QStringList{"--linie", "7"}
            << QByteArray("für die Haltestellen dieser Liste hat der Feed keine Aussprache (tts_stop_name), die eine "
                          "Aussprachedatei fassen kann; ohne --aussprache-ausgabe geht es.");
        QTest::newRow("nothing there") << scratch.filePath("fehlt.zip") << QStringList{"--linie", "7"}
                                       << QByteArray("„" + scratch.filePath("fehlt.zip").toUtf8() + "“ gibt es nicht.");

        // 80 MB of one repeated row pack into a few dozen kilobytes (a trip
        // not asked for: the bound of a trip's rows would come first).
        Files bomb = tidyFeed();
        QByteArray row = "x,08:00:00,08:00:00,hbf,1\n";
        bomb["stop_times.txt"] += row.repeated(80'000'000 / row.size());
        QTest::newRow("zip bomb") << feed(bomb, true) << QStringList{"--linie", "7"}
                                  << QByteArray("stop_times.txt im Zip entpackt auf mehr als das 200-Fache und wird als Zip-Bombe abgelehnt.");

        Files noStops = tidyFeed();
        noStops.remove("stops.txt");
        QTest::newRow("missing file") << feed(noStops, true) << QStringList{"--linie", "7"}
                                      << QByteArray("im Feed fehlt die Datei stops.txt.");
        Files noColumn = tidyFeed();
        noColumn["stop_times.txt"].replace("stop_sequence", "sequence");
        QTest::newRow("missing column") << feed(noColumn) << QStringList{"--linie", "7"}
                                        << QByteArray("in stop_times.txt fehlt die Spalte stop_sequence.");
        Files more = tidyFeed();
        more["routes.txt"] += "R17,SW,17,,0\nRN,SW,N7,,3\nR70,SW,70,,3\nRX,SW,Nord,,3\n";
        QTest::newRow("no such route") << feed(more) << QStringList{"--linie", "71"}
                                       << QByteArray("die Linie „71“ gibt es im Feed nicht; ähnliche Namen: 7, 70, 17, N7, Nord.");
        Files wide = tidyFeed();
        wide["stop_times.txt"] = "trip_id," + QByteArray("x,").repeated(10'000'000) + "\n";
        QTest::newRow("ten million columns") << feed(wide, true) << QStringList{"--linie", "7"}
                                             << QByteArray("stop_times.txt: Zeile 1 hat mehr als 1000 Spalten.");
        Files open = tidyFeed();
        open["stops.txt"] += "x,\"Markt\n";
        QTest::newRow("quote never closed") << feed(open) << QStringList{"--linie", "7"}
                                            << QByteArray("stops.txt: ein Anführungszeichen ab Zeile 5 wird nie geschlossen.");
        Files longTrip = tidyFeed();
        longTrip["stop_times.txt"] += QByteArray("a,,,markt,7\n").repeated(200'000);
        QTest::newRow("a trip of 200000 rows")
            << feed(longTrip, true) << QStringList{"--linie", "7"}
            << QByteArray("stop_times.txt, Zeile 10010: die Fahrt „a“ hat mehr als 10000 Halte; so lang fährt keine Linie.");
        Files flex = tidyFeed();
        flex["stop_times.txt"] = "trip_id,stop_id,stop_sequence,start_pickup_drop_off_window,location_id\n"
                                 "a,hbf,1,,\na,,2,08:00:00,nord\n";
        QTest::newRow("demand-responsive (GTFS-Flex)") << feed(flex) << QStringList{"--linie", "7"}
                                                       << QByteArray("die Linie „7“ ist ein Rufbus nach Bedarf (GTFS-Flex) ohne feste Haltestellen.");
        Files zones = tidyFeed();
        zones["stop_times.txt"] = "trip_id,stop_id,stop_sequence\na,hbf,1\na,zone-nord,2\n";
        zones["locations.geojson"] = "{\"type\":\"FeatureCollection\",\"features\":[]}";
        QTest::newRow("a zone of locations.geojson") << feed(zones, true) << QStringList{"--linie", "7"}
                                                     << QByteArray("die Linie „7“ ist ein Rufbus nach Bedarf (GTFS-Flex) ohne feste Haltestellen.");
        Files badSequence = tidyFeed();
        badSequence["stop_times.txt"] += "a,,,zoo,vier\n";
        QTest::newRow("a stop_sequence that is no number")
            << feed(badSequence) << QStringList{"--linie", "7"}
            << QByteArray("stop_times.txt, Zeile 13: stop_sequence „vier“ ist keine ganze Zahl von 0 an.");
        Files danglingStop = tidyFeed();
        danglingStop["stop_times.txt"] += "a,,,weg,4\n";
        QTest::newRow("a stop missing from stops.txt")
            << feed(danglingStop) << QStringList{"--linie", "7"}
            << QByteArray("die Haltestelle „weg“ aus stop_times.txt fehlt in stops.txt.");
        QTest::newRow("no such direction") << feed(tidyFeed()) << QStringList{"--linie", "7", "--richtung", "2"}
                                           << QByteArray("--richtung ist 0 oder 1, nicht „2“ (pendralumovista --help zeigt die Optionen)");
        Files trailingLetters = tidyFeed();
        trailingLetters["stop_times.txt"] += "a,,,zoo,12abc\n";
        QTest::newRow("a stop_sequence with letters after its digits")
            << feed(trailingLetters) << QStringList{"--linie", "7"}
            << QByteArray("stop_times.txt, Zeile 13: stop_sequence „12abc“ ist keine ganze Zahl von 0 an.");
    }

    void badInput()
    {
        QFETCH(QString, feedPath);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, message);
        const QString output = scratch.filePath("ausgabe.txt");
        const QString spoken = scratch.filePath("aussprache.txt");
        const QString extra = scratch.filePath("zusatz.txt");
        QFile::remove(output);
        QFile::remove(spoken);
        QFile::remove(extra);
        const Outcome outcome = run(QStringList{feedPath} + options
                                    + QStringList{"--ausgabe", output, "--aussprache-ausgabe", spoken, "--zusatz-ausgabe", extra});
        QCOMPARE(outcome.status, 2);
        QCOMPARE(outcome.err, "pendralumovista: " + message + "\n");
        QCOMPARE(outcome.out, QByteArray());
        QVERIFY(!QFile::exists(output));
        QVERIFY(!QFile::exists(spoken));
        QVERIFY(!QFile::exists(extra));
        QCOMPARE(QDir(scratch.path()).entryList({"ausgabe*", "aussprache*", "zusatz*"}, QDir::Files), QStringList());
    }

    // What all files of a zip together unpack to is counted as they are
    // read: a zip that comes to the bound exactly is read whole, one byte more
    // is refused as a zip bomb. The command's bound is 16 GB; the same check
    // is held here to 1 MB.
    void zipUnpacksWithinItsBound_data()
    {
        QTest::addColumn<int>("secondSize");
        QTest::addColumn<QByteArray>("error");
        QTest::newRow("to the last byte") << (424 << 10) << QByteArray();
        QTest::newRow("one byte more")
            << (424 << 10) + 1 << QByteArray("der Feed entpackt zu mehr als 1 MB und wird als Zip-Bombe abgelehnt");
    }

    void zipUnpacksWithinItsBound()
    {
        QFETCH(int, secondSize);
        QFETCH(QByteArray, error);
        const QString path = feed({{"a.txt", QByteArray(600 << 10, 'a')}, {"b.txt", QByteArray(secondSize, 'b')}}, true);
        transit::Limits limits;
        limits.unpackedBytes = 1 << 20;
        const std::unique_ptr<transit::Feed> archive = transit::Feed::open(QFile::encodeName(path).toStdString(), limits);
        qint64 unpacked = 0;
        QByteArray said;
        try {
            for (const char* name : {"a.txt", "b.txt"}) {
                const std::unique_ptr<transit::FeedFile> file = archive->openFile(name);
                char buffer[65536];
                for (std::size_t count; (count = file->read(buffer, sizeof buffer)) > 0;)
                    unpacked += qint64(count);
            }
        } catch (const transit::Error& refusal) {
            said = refusal.what();
        }
        QCOMPARE(said, error);
        if (error.isEmpty())
            QCOMPARE(unpacked, qint64((600 << 10) + secondSize));
    }

    // A disk that takes nothing while either file is written, full or
    // mounted read-only: both old files stay as they were, byte for byte,
    // nothing is left behind, and one German line says why. The disk is a
    // small tmpfs of its own, which takes root to mount.
    void diskThatTakesNothing_data()
    {
        QTest::addColumn<bool>("pronunciationsOnThatDisk");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("reason");
        const QString full = QString::fromUtf8("auf dem Datenträger ist kein Platz mehr");
        QTest::newRow("full: the stop file") << false << false << full;
        QTest::newRow("full: the pronunciation file, after a stop file written whole elsewhere") << true << false << full;
        QTest::newRow("read-only: the stop file")
            << false << true << QString::fromUtf8("das Dateisystem ist nur lesbar eingehängt");
    }

    void diskThatTakesNothing()
    {
        QFETCH(bool, pronunciationsOnThatDisk);
        QFETCH(bool, readOnly);
        QFETCH(QString, reason);
        if (::geteuid() != 0)
            QSKIP("a full file system is made as a 64 KB tmpfs, and only root may mount one");
        const QString disk = scratch.filePath(QStringLiteral("voll%1").arg(++feeds));
        QVERIFY(QDir().mkpath(disk));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}) != 0)
            QSKIP("mount -t tmpfs failed (in a container without the right to mount?)");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {disk}); });

        const QString stopFile = (pronunciationsOnThatDisk ? scratch.path() : disk) + "/alt.txt";
        const QString spoken = disk + "/sprich.txt";
        const QByteArray old = "Alte Haltestelle\r\n" + QByteArray(6000, 'x');
        for (const QString& path : {stopFile, spoken}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
        }
        // The rest of the disk taken, to its last page.
        const int filler = ::open(QFile::encodeName(disk + "/fuellung").constData(), O_WRONLY | O_CREAT, 0600);
        QVERIFY(filler >= 0);
        const QByteArray block(4096, 'f');
        while (!readOnly && ::write(filler, block.constData(), std::size_t(block.size())) > 0) {
        }
        ::close(filler);
        if (readOnly)
            QCOMPARE(QProcess::execute("mount", {"-o", "remount,ro", disk}), 0);

        Files files = tidyFeed();
        files["stops.txt"] = "stop_id,stop_name,tts_stop_name\nhbf,Hbf,Hauptbahnhof\nmarkt,Markt,\nzoo,Zoo,\n";
        const Outcome outcome = run({feed(files), "--linie", "7", "--ausgabe", stopFile, "--aussprache-ausgabe", spoken});
        QCOMPARE(outcome.status, 2);
        const QString refused = pronunciationsOnThatDisk ? spoken : stopFile;
        QCOMPARE(QString::fromUtf8(outcome.err), QString::fromUtf8("pendralumovista: „") + refused
                                                     + QString::fromUtf8("“ kann nicht geschrieben werden: ") + reason + ".\n");
        QCOMPARE(outcome.out, QByteArray());
        for (const QString& path : {stopFile, spoken}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), old);
        }
        QStringList left{"fuellung", "sprich.txt"};
        if (!pronunciationsOnThatDisk)
            left.prepend("alt.txt");
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), left);
    }

    // An existing target that is no ordinary file is written as it is, never
    // replaced by a file; where that fails, or cannot be, one line says so.
    void targetsThatAreNoFile_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("a named pipe") << QStringLiteral("pipe") << 0 << QByteArray();
        QTest::newRow("/dev/null") << QStringLiteral("/dev/null") << 0 << QByteArray();
        QTest::newRow("/dev/full") << QStringLiteral("/dev/full") << 2
                                   << QByteArray("„/dev/full“ kann nicht geschrieben werden: auf dem Datenträger ist kein Platz mehr.");
        QTest::newRow("a folder") << QStringLiteral("ordner") << 2 << QByteArray("ist ein Ordner; dorthin wird nicht geschrieben.");
        // A link stays a link; the file it names is replaced.
        QTest::newRow("a link to a file") << QStringLiteral("link") << 0 << QByteArray();
        // Not a special file, but the system's reason in German too.
        QTest::newRow("into a folder that is not there")
            << QStringLiteral("/nirgends/linie.txt") << 2
            << QByteArray("„/nirgends/linie.txt“ kann nicht geschrieben werden: den Ordner oder die Datei gibt es nicht.");
    }

    void targetsThatAreNoFile()
    {
        QFETCH(QString, target);
        QFETCH(int, status);
        QFETCH(QByteArray, message);
        int reader = -1;
        if (target == "pipe") {
            target = scratch.filePath("pipe");
            QVERIFY(::mkfifo(QFile::encodeName(target).constData(), 0600) == 0 || errno == EEXIST);
            // Open for reading first, so that the command's open does not wait.
            reader = ::open(QFile::encodeName(target).constData(), O_RDONLY | O_NONBLOCK);
            QVERIFY(reader >= 0);
        } else if (target == "ordner") {
            target = scratch.filePath("ordner");
            QVERIFY(QDir().mkpath(target));
        } else if (target == "link") {
            target = scratch.filePath("link");
            QFile named(scratch.filePath("verlinkt.txt"));
            QVERIFY(named.open(QIODevice::WriteOnly) && named.write("alt\r\n") == 5);
            named.close();
            QVERIFY(QFile::remove(target) || !QFile::exists(target));
            QVERIFY(QFile::link(named.fileName(), target));
        }
        struct stat before {};
        const bool there = ::lstat(QFile::encodeName(target).constData(), &before) == 0;
        const Outcome outcome = run({feed(tidyFeed()), "--linie", "7", "--ausgabe", target});
        QCOMPARE(outcome.status, status);
        QVERIFY2(outcome.err.endsWith(message + (message.isEmpty() ? "" : "\n")), outcome.err.constData());
        QCOMPARE(outcome.err.count('\n'), status == 0 ? 0 : 1);
        struct stat after {};
        QCOMPARE(::lstat(QFile::encodeName(target).constData(), &after) == 0, there);
        QCOMPARE(after.st_mode, before.st_mode);
        QCOMPARE(after.st_ino, before.st_ino);
        if (reader >= 0) {
            char bytes[256];
            const ssize_t count = ::read(reader, bytes, sizeof bytes);
            ::close(reader);
            QCOMPARE(QByteArray(bytes, int(std::max<ssize_t>(count, 0))), lines({"Hauptbahnhof", "Markt", "Zoo"}));
        }
        if (S_ISLNK(after.st_mode)) {
            QFile named(scratch.filePath("verlinkt.txt"));
            QVERIFY(named.open(QIODevice::ReadOnly));
            QCOMPARE(named.readAll(), lines({"Hauptbahnhof", "Markt", "Zoo"}));
        }
    }

    // Standard output on a full disk: status 2 and one line, for the list and
    // the listing alike.
    void standardOutputChecked_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("--linie") << QStringList{"--linie", "7"};
        QTest::newRow("--linien") << QStringList{"--linien"};
    }

    void standardOutputChecked()
    {
        QFETCH(QStringList, options);
        std::FILE* full = std::fopen("/dev/full", "w");
        QVERIFY(full);
        const Outcome outcome = run(QStringList{feed(tidyFeed())} + options, full);
        std::fclose(full);
        QCOMPARE(outcome.status, 2);
        QCOMPARE(outcome.err, QByteArray("pendralumovista: die Standardausgabe kann nicht geschrieben werden: auf "
                                         "dem Datenträger ist kein Platz mehr.\n"));
    }

    // --laden with no simulator running: the one line that says so is all,
    // no list and no report of success before it.
    void loadWithoutSimulator()
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
        const Outcome outcome = run({feed(tidyFeed()), "--linie", "7", "--laden"});
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        QCOMPARE(outcome.status, 1);
        QCOMPARE(outcome.out, QByteArray());
        QCOMPARE(outcome.err, QByteArray("pendralumovista: auf diesem Desktop läuft kein Simulator; zuerst pendralumovista starten.\n"));
    }

    // In --help every option's text starts in one column, "FEED …" too.
    void helpAligned()
    {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        char program[] = "pendralumovista";
        char help[] = "--help";
        char* argv[] = {program, help, nullptr};
        const CommandLine line = parseCommandLine(2, argv, out, err);
        QCOMPARE(line.exitCode, std::optional<int>(0));
        std::fclose(err);
        const QStringList printed = QString::fromUtf8(readAll(out)).split(u'\n');
        const QRegularExpression option(QStringLiteral("^  (?:-\\S+, |    )(--\\S+(?: \\S+)*)\\s{2,}\\S"));
        QSet<qsizetype> columns;
        QStringList gtfs;
        for (const QString& text : printed) {
            const QRegularExpressionMatch match = option.match(text);
            if (!match.hasMatch())
                continue;
            columns.insert(match.capturedLength(0));
            if (match.captured(1).startsWith("--gtfs"))
                gtfs << text;
        }
        QCOMPARE(gtfs.size(), 1);
        QCOMPARE(columns.size(), 1);
    }

    // The companion's pronunciations for the stops of the list, in the form
    // its --aussprache file takes.
    void pronunciationFile()
    {
        Files files = tidyFeed();
        files["stops.txt"] = "stop_id,stop_name,tts_stop_name\nhbf,Hbf,Hauptbahnhof\nmarkt,Markt,\n"
                             "zoo,Zoo = Tierpark,Tierpark\n";
        const QString spoken = scratch.filePath("sprich.txt");
        const Outcome outcome = run({feed(files), "--linie", "7", "--aussprache-ausgabe", spoken});
        QCOMPARE(outcome.status, 0);
        QFile written(spoken);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), QByteArray("Hbf = Hauptbahnhof\n"));
        QVERIFY(outcome.err.contains("Ohne Aussprache, weil die Aussprachedatei sie nicht fassen kann: „Zoo = Tierpark“"));
    }

    // The companion's extra-text file: for each stop of the list, in its
    // order, the other lines at the stop or at its station, by mode; a stop
    // without any has no line, and a name is as the stop file writes it.
    void interchangeFile_data()
    {
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("entries"); // the file after its first line
        QTest::addColumn<QByteArray>("said");
        const QByteArray hbf = "Hauptbahnhof = Umsteigemöglichkeit zur S-Bahn S1, zur U-Bahn U2 und zum Bus 42.\n";
        const QByteArray markt = " = Umsteigemöglichkeit zu den Straßenbahnlinien 3, 5 und 12 und zum Bus 42.\n";
        const QByteArray zoo = "Zoo = Umsteigemöglichkeit zum Bus Zoo-Express.\n";
        QTest::newRow("out") << interchangeFeed() << QStringList{"--linie", "7"} << hbf + "Markt" + markt + zoo
                             << QByteArray("Umsteigemöglichkeiten an 3 Haltestellen in der Zusatzdatei.\n");
        QTest::newRow("back") << interchangeFeed() << QStringList{"--linie", "7", "--richtung", "1"}
                              << zoo + "Markt" + markt + hbf << QByteArray("an 3 Haltestellen");
        QTest::newRow("a stretch") << interchangeFeed() << QStringList{"--linie", "7", "--von", "2", "--bis", "3"}
                                   << "Markt" + markt << QByteArray("an 1 Haltestelle in");
        // Names in Windows-1252 as on the sign; one the file cannot hold is
        // left out and named.
        Files renamed = interchangeFeed();
        renamed["stops.txt"].replace("markt,Markt,", "markt,Rynek Łódź,").replace("zoo,Zoo,", "zoo,Zoo = Tierpark,");
        QTest::newRow("names") << renamed << QStringList{"--linie", "7"} << hbf + "Rynek Lódz" + markt
                               << QByteArray("Ohne Umsteigehinweis, weil die Zusatzdatei sie nicht fassen kann: "
                                             "„Zoo = Tierpark“\n");
        // Names the companion would read as keys of its own: the line for
        // the terminus, a language.
        Files keys = interchangeFeed();
        keys["stops.txt"].replace("markt,Markt,", "markt,*Endstelle,").replace("zoo,Zoo,", "zoo,Zoo [ab],");
        QTest::newRow("names read as keys") << keys << QStringList{"--linie", "7"} << hbf
                                            << QByteArray("nicht fassen kann: „*Endstelle“ „Zoo [ab]“\n");
        // The companion tells stops apart by their names only: two of one
        // name are one line, with the lines of both.
        Files twice = interchangeFeed();
        twice["stops.txt"].replace("zoo,Zoo,", "zoo,Markt,");
        QTest::newRow("two stops of one name")
            << twice << QStringList{"--linie", "7"}
            << hbf + "Markt = Umsteigemöglichkeit zu den Straßenbahnlinien 3, 5 und 12 und zu den Buslinien 42 und Zoo-Express.\n"
            << QByteArray("an 2 Haltestellen");
        Files alone = interchangeFeed();
        alone["routes.txt"] = "route_id,route_short_name,route_type\nR7,7,0\n";
        QTest::newRow("no other line") << alone << QStringList{"--linie", "7"} << QByteArray()
                                       << QByteArray("Umsteigemöglichkeiten hat keine Haltestelle dieser Liste.\n");
    }

    void interchangeFile()
    {
        QFETCH(Files, files);
        QFETCH(QStringList, options);
        QFETCH(QByteArray, entries);
        QFETCH(QByteArray, said);
        for (const bool zipped : {false, true}) {
            const QString path = feed(files, zipped);
            QVERIFY(!path.isEmpty());
            const QString extra = path + ".zusatz";
            const Outcome outcome = run(QStringList{path} + options + QStringList{"--zusatz-ausgabe", extra, "--ausgabe", path + ".txt"});
            QVERIFY2(outcome.status == 0, outcome.err.constData());
            QVERIFY2(outcome.out.contains(said), outcome.out.constData());
            QFile written(extra);
            QVERIFY(written.open(QIODevice::ReadOnly));
            const QByteArray header = written.readLine();
            QVERIFY2(header.startsWith("# Umsteigemöglichkeiten der Linie 7, Richtung ") && header.endsWith("\n"),
                     header.constData());
            QCOMPARE(written.readAll(), entries);
        }
    }

    // The sentence: modes from the basic and the extended route types, lines
    // of a mode together and by their numbers, and its bounds.
    void interchangeSentence_data()
    {
        QTest::addColumn<QStringList>("lines"); // "route_type:name"
        QTest::addColumn<QString>("sentence");
        QTest::newRow("none") << QStringList() << QString();
        QTest::newRow("one line") << QStringList{"3:42"} << QString::fromUtf8("Umsteigemöglichkeit zum Bus 42.");
        QTest::newRow("a line named twice") << QStringList{"0:3", "900:3"}
                                            << QString::fromUtf8("Umsteigemöglichkeit zur Straßenbahn 3.");
        QTest::newRow("modes in their order")
            << QStringList{"1300:", "1200:F1", "400:U2", "109:S41", "2:RE 7", "2:S 3", "200:X", "1700:A"}
            << QString::fromUtf8("Umsteigemöglichkeit zum Zug RE 7, zu den S-Bahn-Linien S 3 und S41, zur U-Bahn U2, "
                                 "zum Fernbus X, zur Fähre F1, zur Seilbahn und zur Linie A.");
        QTest::newRow("more modes") << QStringList{"7:", "11:4", "12:M", "5:", "1500:T", "800:5"}
                                    << QString::fromUtf8("Umsteigemöglichkeit zu den Obuslinien 4 und 5, zur "
                                                         "Standseilbahn, zur Kabelstraßenbahn, zur Einschienenbahn M "
                                                         "und zum Linientaxi T.");
        // A name with a line break stays on one line; one too long to say
        // leaves its mode.
        QTest::newRow("names spoilt or too long")
            << QStringList{"3:N\a\n8", "0:" + QString(33, u'x'), "0:" + QString(32, u'y')}
            << QString::fromUtf8("Umsteigemöglichkeit zur Straßenbahn %1 und zum Bus N 8.").arg(QString(32, u'y'));
        QStringList nine;
        for (int i = 9; i >= 1; --i)
            nine << QStringLiteral("3:%1").arg(i);
        QTest::newRow("nine lines") << nine
                                    << QString::fromUtf8("Umsteigemöglichkeit zu den Buslinien 1, 2, 3, 4, 5, 6, 7 "
                                                         "und 8 und zu einer weiteren Linie.");
        QTest::newRow("eleven lines") << nine + QStringList{"3:10", "0:1"}
                                      << QString::fromUtf8("Umsteigemöglichkeit zur Straßenbahn 1, zu den Buslinien "
                                                           "1, 2, 3, 4, 5, 6 und 7 und zu 3 weiteren Linien.");
    }

    void interchangeSentence()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, sentence);
        std::vector<transit::CallingLine> calling;
        for (const QString& line : lines)
            calling.push_back({line.section(u':', 1).toStdString(), line.section(u':', 0, 0).toInt()});
        QCOMPARE(QString::fromStdString(transit::interchangeText(calling)), sentence);
    }

    // Without a route there is nothing to write the file for.
    void interchangeFileNeedsARoute()
    {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        char program[] = "pendralumovista";
        char option[] = "--zusatz-ausgabe";
        char file[] = "zusatz.txt";
        char* argv[] = {program, option, file, nullptr};
        QCOMPARE(parseCommandLine(3, argv, out, err).exitCode, std::optional<int>(2));
        std::fclose(out);
        QCOMPARE(readAll(err), QByteArray("pendralumovista: „--zusatz-ausgabe“ gilt nur nach „--gtfs FEED --linie "
                                          "NAME“ (pendralumovista --help zeigt die Optionen)\n"));
        const Outcome listing = run({feed(interchangeFeed()), "--linien", "--zusatz-ausgabe", scratch.filePath("z.txt")});
        QCOMPARE(listing.status, 2);
        QCOMPARE(listing.err, QByteArray("pendralumovista: --linien nimmt keine weiteren Optionen (pendralumovista "
                                         "--help zeigt die Optionen)\n"));
        QVERIFY(!QFile::exists(scratch.filePath("z.txt")));
    }

    // The CSV reader gives the same records whatever pieces the bytes come
    // in: a mark, a CR LF or a doubled quote split across two reads.
    void csvRecordsDoNotDependOnThePieces()
    {
        const QByteArray input = "\xEF\xBB\xBF" "a,\"b,\"\"c\"\"\r\nd\",e\r\n\r\nf,\"\"\rg\n\"h\"i,j";
        const auto records = [&](qsizetype piece) { return csvRecords(input, piece); };
        const QStringList whole = records(input.size());
        QCOMPARE(whole, QStringList({"1:a|b,\"c\"\r\nd|e", "4:f|", "5:g", "6:hi|j"}));
        for (qsizetype piece = 1; piece < 8; ++piece)
            QCOMPARE(records(piece), whole);
    }

    // Plain lines (no quote, no lone CR) are split where they lie, fields of
    // any length, and only up to the fields a table needs; a quoted line
    // among them and a lone CR give the same cut records.
    void csvPlainLinesAndTheFieldsNeeded()
    {
        // Line 6: a '-' right after a comma looks like one to the word-wise
        // search for commas.
        const QByteArray input = "trip_id_long_enough,08:00:00,,stop,12\r\n,,\nT1,\"x,y\",z\n"
                                 "abcdefghijklmnopq,r\rs,t,u,v\nx,-1,-2,-,y\n";
        const auto records = [&](qsizetype piece, std::size_t needed) { return csvRecords(input, piece, needed); };
        QCOMPARE(records(input.size(), 0), QStringList({"1:trip_id_long_enough|08:00:00||stop|12", "2:||",
                                                        "3:T1|x,y|z", "4:abcdefghijklmnopq|r", "5:s|t|u|v",
                                                        "6:x|-1|-2|-|y"}));
        QCOMPARE(records(input.size(), 2), QStringList({"1:trip_id_long_enough|08:00:00", "2:|", "3:T1|x,y",
                                                        "4:abcdefghijklmnopq|r", "5:s|t", "6:x|-1"}));
        QCOMPARE(records(input.size(), 4).last(), QStringLiteral("6:x|-1|-2|-"));
        for (qsizetype piece = 1; piece < 8; ++piece) {
            QCOMPARE(records(piece, 0), records(input.size(), 0));
            QCOMPARE(records(piece, 2), records(input.size(), 2));
            // A line of empty fields cut to one is still a record, not blank.
            QCOMPARE(records(piece, 1), records(input.size(), 1));
        }
        // A record of 1 MB of field bytes, quoted or plain, is read whole; one
        // byte more stops the reading with its line.
        for (const qsizetype over : {0, 1}) {
            const QByteArray field((1 << 20) + over, 'x');
            for (const auto& [huge, record] : {std::pair{"a\n\"" + field + "\"\n", "2:" + field},
                                               std::pair{"a\nb," + field.mid(1), "2:b|" + field.mid(1)}}) {
                QByteArray last;
                transit::csv::Reader reader([&](const transit::csv::Record& fields, std::uint64_t line) {
                    last = QByteArray::number(qulonglong(line)) + ':';
                    for (const std::string_view text : fields)
                        last.append(text.data(), qsizetype(text.size())).append('|');
                    last.chop(1);
                    return true;
                });
                for (qsizetype at = 0; at < huge.size(); at += 4096)
                    reader.feed(std::string_view(huge.constData() + at, size_t(std::min<qsizetype>(4096, huge.size() - at))));
                reader.finish();
                QCOMPARE(QString::fromStdString(reader.error()), over ? QStringLiteral("Zeile 2 ist länger als 1 MB") : QString());
                QVERIFY(last == (over ? QByteArray("1:a") : record));
            }
        }
    }
};

QTEST_GUILESS_MAIN(GtfsTest)
#include "tst_gtfs.moc"
