// The extra texts per stop and the second language: the user's file as an
// editor saves it, what is refused, and the parts an announcement is made
// of, in the order they are said; the stop's name inside the English part
// as the German voice says it.

#include <announcementparts.h>
#include <extratexts.h>
#include <synthesizer.h>

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The file of the README's example, for the parts of an announcement.
const char example[] = "# Linie 7\n"
                       "Hauptbahnhof = Ausstieg in Fahrtrichtung links. Umsteigemöglichkeit zu den Linien 3, 5 und "
                       "zur S-Bahn.\n"
                       "Hauptbahnhof [en] = Exit on the left. Change here for lines 3 and 5 and the S-Bahn.\n"
                       "* = Bitte halten Sie sich fest.\n"
                       "*Endstelle = Bitte vergessen Sie Ihre Sachen nicht.\n"
                       "*Endstelle [en] = Please take all your belongings with you.\n"
                       "Waldschänke = Ausstieg rechts.\n";

// A part as one line, so that a wrong order shows whole in the failure.
QString describe(const AnnouncementPart& part)
{
    static const char* const kinds[] = {"Gong", "Opening", "Name", "TerminusEnding", "Extra"};
    return QStringLiteral("%1 %2: %3").arg(QString::fromLatin1(kinds[int(part.kind)]), part.language, part.text);
}

QStringList described(const QList<AnnouncementPart>& parts)
{
    QStringList lines;
    for (const AnnouncementPart& part : parts)
        lines << describe(part);
    return lines;
}
} // namespace

class TestExtraTexts : public QObject {
    Q_OBJECT
    QTemporaryDir scratch;

    QString written(const QByteArray& bytes)
    {
        QFile file(scratch.filePath(QStringLiteral("zusatz.txt")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }

private slots:
    void initTestCase() { QVERIFY(scratch.isValid()); }

    // What a file gives a stop and the terminus, in German and English, and
    // one line for each line not taken, naming it.
    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("atStop");
        QTest::addColumn<QStringList>("atTerminus");
        QTest::addColumn<QStringList>("refusals");
        const QString de = QStringLiteral("de"), en = QStringLiteral("en");
        const QString hbf = QStringLiteral("Hauptbahnhof");
        const QStringList none;

        const QByteArray keys = "# Kommentar = kein Eintrag\r\n\r\n   \r\n"
                                "Hauptbahnhof = Links aussteigen.\r\n"
                                "* = Festhalten.\r\n"
                                "Hauptbahnhof [en] = Exit on the left.\r\n"
                                "*Endstelle = Alle aussteigen.\r\n"
                                "Hauptbahnhof = Umsteigen zur S-Bahn.\r\n"
                                "*Endstelle [en] = All change.\r" // a classic Mac editor's line end
                                "Hauptbahnhof [de] = Zum Fernverkehr.\r\n";
        QTest::newRow("keys, tags, file order, German")
            << keys << hbf << de
            << QStringList{"Festhalten.", "Links aussteigen.", "Umsteigen zur S-Bahn.", "Zum Fernverkehr."}
            << QStringList{"Alle aussteigen."} << none;
        QTest::newRow("keys, tags, file order, English")
            << keys << hbf << en << QStringList{"Exit on the left."} << QStringList{"All change."} << none;
        QTest::newRow("capitals matter")
            << QByteArray("hauptbahnhof = Klein.\nHAUPTBAHNHOF = Groß.\n") << hbf << de << none << none << none;
        QTest::newRow("name trimmed, blanks inside kept")
            << QByteArray("\t Am  Anger \t=  Text\tmit  Tab. \n") << QStringLiteral(" Am  Anger ") << de
            << QStringList{"Text mit Tab."} << none << none;
        // An editor on another system saves the umlaut as o and a combining
        // diaeresis; the sign's name has it composed.
        QTest::newRow("name in either Unicode form")
            << QByteArray("Ko\xCC\x88nigstra\xC3\x9F" "e = Rechts.\n") << QStringLiteral("Königstraße") << de
            << QStringList{"Rechts."} << none << none;
        // Saved as Windows-1252 like the stop files: the umlauts, ß and the
        // dash (0x96, which Latin-1 lacks) read right. (The shared reader's
        // other cases are the pronunciation file's, in tst_ansage.)
        const QByteArray utf8 = QString::fromUtf8("Königstraße = Ausstieg – rechts.\r\n").toUtf8();
        QStringEncoder toWindows1252("windows-1252");
        const QByteArray windows1252 = toWindows1252(QString::fromUtf8(utf8));
        QVERIFY(!toWindows1252.hasError() && windows1252.contains('\x96'));
        const QStringList rightSide{QString::fromUtf8("Ausstieg – rechts.")};
        QTest::newRow("Windows-1252") << windows1252 << QStringLiteral("Königstraße") << de << rightSide << none
                                      << none;

        // Each refused line is left out with a line of its own; the others
        // are taken.
        static const char controls[] = "Rathaus = Rat\0haus.\nRathaus = Ausstieg links.\nRathaus = \x1B[31mRot.\n";
        QTest::newRow("control characters")
            << QByteArray(controls, sizeof controls - 1) << QStringLiteral("Rathaus") << de
            << QStringList{"Ausstieg links."} << none
            << QStringList{"Zeile 1 übergangen: enthält ein Steuerzeichen.",
                           "Zeile 3 übergangen: enthält ein Steuerzeichen."};
        QTest::newRow("shapes")
            << QByteArray("Rathaus Ausstieg links.\n= Text.\nRathaus =\nRathaus = Gut.\n[en] = Text.\n")
            << QStringLiteral("Rathaus") << de << QStringList{"Gut."} << none
            << QStringList{"Zeile 1 übergangen: erwartet „Haltestelle = Text“.",
                           "Zeile 2 übergangen: erwartet „Haltestelle = Text“.",
                           "Zeile 3 übergangen: erwartet „Haltestelle = Text“.",
                           "Zeile 5 übergangen: erwartet „Haltestelle = Text“."};
        QTest::newRow("keys and languages")
            << QByteArray("*Ende = Aus.\nRathaus [fr] = Sortie.\n*endstelle = Aus.\nRathaus [en] = Exit.\n")
            << QStringLiteral("Rathaus") << en << QStringList{"Exit."} << none
            << QStringList{"Zeile 1 übergangen: „*Ende“ ist weder „*“ noch „*Endstelle“.",
                           "Zeile 2 übergangen: die Sprache „fr“ gibt es hier nicht (nur de und en).",
                           "Zeile 3 übergangen: „*endstelle“ ist weder „*“ noch „*Endstelle“."};
        const QByteArray longest(ExtraTexts::longestText, 'a');
        QTest::newRow("longest text")
            << QByteArray("Rathaus = ") + longest + "\nRathaus = " + longest + "a\n" << QStringLiteral("Rathaus") << de
            << QStringList{QString::fromLatin1(longest)} << none
            << QStringList{"Zeile 2 übergangen: der Text ist länger als 1500 Zeichen."};
        // A file of something else says no more than a screenful.
        QByteArray wrong;
        QStringList twenty;
        for (int i = 1; i <= 25; ++i) {
            wrong += "kein Eintrag\n";
            if (i <= ExtraTexts::mostRefusalLines)
                twenty << QStringLiteral("Zeile %1 übergangen: erwartet „Haltestelle = Text“.").arg(i);
        }
        twenty << QStringLiteral(": 5 weitere Zeilen übergangen.");
        QTest::newRow("refusals bounded") << wrong << QStringLiteral("Rathaus") << de << none << none << twenty;
    }

    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, stop);
        QFETCH(QString, language);
        QFETCH(QStringList, atStop);
        QFETCH(QStringList, atTerminus);
        QFETCH(QStringList, refusals);
        const QString path = written(bytes);
        QVERIFY(!path.isEmpty());
        ExtraTexts extras;
        QStringList lines;
        QString error;
        QVERIFY2(extras.addFile(path, &lines, &error), qPrintable(error));
        QCOMPARE(extras.atStop(stop, language), atStop);
        QCOMPARE(extras.atTerminus(language), atTerminus);
        QCOMPARE(lines.size(), refusals.size());
        for (qsizetype i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(QStringLiteral("Zusatzdatei „%1“").arg(path)) && lines[i].endsWith(refusals[i])
                         && !lines[i].contains(QLatin1Char('\n')),
                     qPrintable(lines[i]));
    }

    // A file that is not one at all refuses the start, in one line.
    void refusedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("neither encoding") << QByteArray("Stra\x81" "e = Text.\n")
                                          << QStringLiteral("ist weder UTF-8 noch Windows-1252.");
        QTest::newRow("too big") << QByteArray(ExtraTexts::largestFile + 1, '#')
                                 << QStringLiteral("ist größer als 256 KiB.");
    }

    void refusedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, refusal);
        const QString path = written(bytes);
        QVERIFY(!path.isEmpty());
        ExtraTexts extras;
        QStringList lines;
        QString error;
        QVERIFY(!extras.addFile(path, &lines, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Die Zusatzdatei „%1“").arg(path)) && error.contains(refusal)
                     && !error.contains(QLatin1Char('\n')),
                 qPrintable(error));
        QVERIFY(lines.isEmpty());
        QCOMPARE(extras.size(), 0);
        // Just at the bound is still read.
        if (bytes.size() > ExtraTexts::largestFile) {
            QVERIFY2(extras.addFile(written(bytes.left(ExtraTexts::largestFile)), &lines, &error), qPrintable(error));
            QVERIFY(lines.isEmpty());
        }
    }

    // The example beside the tram line's stop list: read without a refusal,
    // and each of its names one of the line's stops (a name that is not
    // would never be said).
    void theExampleFitsItsLine()
    {
        ExtraTexts extras;
        QStringList refusals;
        QString error;
        QVERIFY2(extras.addFile(QFINDTESTDATA("../examples/zusatz.txt"), &refusals, &error), qPrintable(error));
        QVERIFY2(refusals.isEmpty(), qPrintable(refusals.join(QLatin1Char('\n'))));
        QFile stopList(QFINDTESTDATA("../examples/linie-7-tram.txt"));
        QVERIFY(stopList.open(QIODevice::ReadOnly));
        QStringDecoder fromWindows1252("windows-1252");
        const QStringList stops =
            QString(fromWindows1252(stopList.readAll())).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        QCOMPARE(stops.size(), 16);
        qsizetype said = 0;
        for (const QString& language : {QStringLiteral("de"), QStringLiteral("en")}) {
            said += extras.atTerminus(language).size() + extras.atStop(QString(), language).size();
            for (const QString& stop : stops)
                said += extras.atStop(stop, language).size() - extras.atStop(QString(), language).size();
        }
        QVERIFY(extras.size() > 10);
        QCOMPARE(said, extras.size());
    }

    // The parts in the order they are said.
    void parts_data()
    {
        QTest::addColumn<QString>("sentence");
        QTest::addColumn<bool>("gong");
        QTest::addColumn<bool>("withExtras");
        QTest::addColumn<QStringList>("secondLanguages");
        QTest::addColumn<QStringList>("parts");
        const QStringList german;
        const QStringList english{"en"};
        const QString hauptbahnhof = QStringLiteral("nächste Haltestelle: Hauptbahnhof");
        const QString waldschaenke = QStringLiteral("nächste Haltestelle: Waldschänke. Endstelle. Bitte aussteigen");
        const QString marktplatz = QStringLiteral("nächste Haltestelle: Marktplatz");
        const QStringList hauptbahnhofGerman{
            "Gong de: ",
            "Opening de: nächste Haltestelle",
            "Name de: Hauptbahnhof",
            "Extra de: Bitte halten Sie sich fest.",
            "Extra de: Ausstieg in Fahrtrichtung links.",
            "Extra de: Umsteigemöglichkeit zu den Linien 3, 5 und zur S-Bahn.",
        };
        const QStringList waldschaenkeGerman{
            "Opening de: nächste Haltestelle",
            "Name de: Waldschänke",
            "Extra de: Bitte halten Sie sich fest.",
            "Extra de: Ausstieg rechts.",
            "TerminusEnding de: Endstelle. Bitte aussteigen",
            "Extra de: Bitte vergessen Sie Ihre Sachen nicht.",
        };
        QTest::newRow("every stop's, then its own, a part a sentence")
            << hauptbahnhof << true << true << german << hauptbahnhofGerman;
        QTest::newRow("terminus") << waldschaenke << false << true << german << waldschaenkeGerman;
        QTest::newRow("English")
            << hauptbahnhof << true << true << english
            << hauptbahnhofGerman + QStringList{"Opening en: Next stop", "Name de: Hauptbahnhof",
                                                "Extra en: Exit on the left.",
                                                "Extra en: Change here for lines 3 and 5 and the S-Bahn."};
        QTest::newRow("English at the terminus")
            << waldschaenke << false << true << english
            << waldschaenkeGerman + QStringList{"Opening en: Next stop", "Name de: Waldschänke",
                                                "TerminusEnding en: This is the final stop. Please leave the vehicle.",
                                                "Extra en: Please take all your belongings with you."};
        // Neither the stop nor every stop has an English line: the English
        // part has no German text in it.
        QTest::newRow("English, no English extra")
            << marktplatz << false << true << english
            << QStringList{"Opening de: nächste Haltestelle", "Name de: Marktplatz",
                           "Extra de: Bitte halten Sie sich fest.", "Opening en: Next stop", "Name de: Marktplatz"};
    }

    void parts()
    {
        QFETCH(QString, sentence);
        QFETCH(bool, gong);
        QFETCH(bool, withExtras);
        QFETCH(QStringList, secondLanguages);
        QFETCH(QStringList, parts);
        ExtraTexts extras;
        QStringList refusals;
        QString error;
        QVERIFY2(extras.addFile(written(QByteArray(example)), &refusals, &error), qPrintable(error));
        QVERIFY2(refusals.isEmpty(), qPrintable(refusals.join(QLatin1Char('\n'))));
        QCOMPARE(described(announcementParts(sentence, gong, withExtras ? &extras : nullptr, secondLanguages)), parts);
    }

    // Each part is synthesised apart with its language's voice, as the
    // announcer does: the name in the English part is the German part's, and
    // so are its phonemes (Hauptbahnhof with [aʊ] and [oː], where the English
    // voice says [ɔː] and [ɒ]), while "Next stop" is English.
    void englishPartSaysTheNameInGerman()
    {
        QString error;
        const std::unique_ptr<Synthesizer> synthesizer =
            Synthesizer::create(QStringLiteral("de"), Synthesizer::normal, &error);
        QVERIFY2(synthesizer, qPrintable(error));
        const auto phonemes = [&](const AnnouncementPart& part) {
            if (!synthesizer->useLanguage(part.language))
                return QStringLiteral("no voice %1").arg(part.language);
            return synthesizer->phonemes(part.text).remove(QRegularExpression(QStringLiteral("[ˈˌ\\s]")));
        };
        const QList<AnnouncementPart> parts =
            announcementParts(QStringLiteral("nächste Haltestelle: Hauptbahnhof"), false, nullptr, {QStringLiteral("en")});
        QCOMPARE(parts.size(), 4);
        const AnnouncementPart& germanName = parts[1];
        const AnnouncementPart& englishOpening = parts[2];
        const AnnouncementPart& nameInEnglish = parts[3];
        const QString opening = phonemes(englishOpening);
        const QString inEnglish = phonemes(nameInEnglish);
        const QString inGerman = phonemes(germanName);
        // The check can tell: the English voice says the name otherwise.
        AnnouncementPart saidByTheEnglishVoice = nameInEnglish;
        saidByTheEnglishVoice.language = QStringLiteral("en");
        const QString english = phonemes(saidByTheEnglishVoice);
        QVERIFY(synthesizer->useLanguage(QStringLiteral("de")));
        QVERIFY2(opening.startsWith(QStringLiteral("nɛkst")), qPrintable(opening));
        QCOMPARE(inEnglish, inGerman);
        QVERIFY2(inEnglish.contains(QStringLiteral("haʊptbɑːnhoːf")), qPrintable(inEnglish));
        QVERIFY2(english != inGerman, qPrintable(english));
    }
};

QTEST_GUILESS_MAIN(TestExtraTexts)
#include "tst_extratexts.moc"
