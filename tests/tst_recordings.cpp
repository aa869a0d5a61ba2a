// The companion's recorded voices, in this process: the file-name rule, the
// recordings a user may bring (each format libsndfile writes here, and the
// ones refused), their loudness beside the synthetic voice, and an
// announcement handed to the output part by part, recorded and spoken, and
// cut off with its parts not yet made by the next call.

#include <tones.h>

#include <announcementparts.h>
#include <announcer.h>
#include <recordings.h>
#include <synthesizer.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

using testsupport::hasTone;
using testsupport::pitch;
using testsupport::soundFormat;
using testsupport::writeTone;

namespace {
// An output that keeps what it is handed, in order, and ends a speech as
// a file writer would: at its last part.
struct KeptOutput : AudioOutput {
    struct Call {
        enum Kind { Play, Append, Stop } kind;
        std::vector<std::int16_t> samples;
        More more = More::No;
    };
    std::vector<Call> calls;
    std::vector<Outcome::Kind> outcomes;
    Report report;

    void play(const Speech& speech, Report given, More more) override
    {
        stop(QStringLiteral("neu"));
        calls.push_back({Call::Play, speech.samples, more});
        report = std::move(given);
        if (more == More::No)
            end(Outcome::Done);
    }
    void append(const std::vector<std::int16_t>& samples, More more) override
    {
        if (!report)
            return;
        calls.push_back({Call::Append, samples, more});
        if (more == More::No)
            end(Outcome::Done);
    }
    void stop(const QString&) override
    {
        if (!report)
            return;
        calls.push_back({Call::Stop, {}, More::No});
        end(Outcome::CutOff);
    }
    void end(Outcome::Kind kind)
    {
        const Report ending = std::exchange(report, {});
        outcomes.push_back(kind);
        ending({kind, 0, {}});
    }
    bool finished() const { return !calls.empty() && calls.back().kind == Call::Append && calls.back().more == More::No; }
    // Everything handed over since the last Play.
    std::vector<std::int16_t> lastSpeech() const
    {
        std::vector<std::int16_t> all;
        for (const Call& call : calls) {
            if (call.kind == Call::Play)
                all.clear();
            all.insert(all.end(), call.samples.begin(), call.samples.end());
        }
        return all;
    }
};

const QString terminus = QStringLiteral("nächste Haltestelle: Waldschänke. Endstelle. Bitte aussteigen");
const QString plain = QStringLiteral("nächste Haltestelle: Marktplatz");

// The tones of the folder the announcements are made from: the gong, the
// opening words and the terminus ending; the stop names are not recorded.
struct Tone {
    const char* file;
    double hertz, seconds, peak;
};
const Tone gongTone{"gong.flac", 1000, 0.4, 0.8};
const Tone openingTone{"nächste_haltestelle.wav", 500, 0.6, 0.05};
const Tone endingTone{"endstelle_bitte_aussteigen.ogg", 700, 0.5, 0.3};

bool toneAt(const std::vector<std::int16_t>& samples, int rate, std::size_t from, const Tone& tone)
{
    return testsupport::toneAt(samples, rate, from, tone.hertz, tone.seconds);
}
// The stop name the recordings in these tests say.
AnnouncementPart marktplatz(const QString& language = QStringLiteral("de"))
{
    AnnouncementPart name;
    name.kind = AnnouncementPart::Kind::Name;
    name.language = language;
    name.text = QStringLiteral("Marktplatz");
    name.fileStem = recordingStem(name.text);
    return name;
}

// An announcer with the recordings of a folder, handing its speech to an
// output the test keeps.
struct Made {
    static Announcer::Settings with(Recordings* recordings)
    {
        Announcer::Settings settings;
        settings.recordings = recordings;
        return settings;
    }
    Recordings recordings;
    std::atomic<quint64> latest{1};
    KeptOutput* output = nullptr;
    Announcer announcer;
    Made(Synthesizer& synthesizer, const QString& folder, double voiceLevel)
        : recordings(folder, synthesizer.sampleRate(), voiceLevel),
          announcer(synthesizer, Pronunciation(), [this] {
              auto made = std::make_unique<KeptOutput>();
              output = made.get();
              return made;
          }, with(&recordings), latest)
    {
    }
};
} // namespace

class TestRecordings : public QObject {
    Q_OBJECT

    std::unique_ptr<Synthesizer> synthesizer;
    double voiceLevel = 0;
    QTemporaryDir scratch;

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QString error;
        synthesizer = Synthesizer::create(QStringLiteral("de"), Synthesizer::normal, &error);
        QVERIFY2(synthesizer, qPrintable(error));
        voiceLevel = speechLevel(synthesizer->synthesize(QStringLiteral("nächste Haltestelle")));
        QVERIFY2(voiceLevel > 0.02, qPrintable(QString::number(voiceLevel)));
        for (const Tone& tone : {gongTone, openingTone, endingTone})
            QVERIFY(writeTone(scratch.filePath(QString::fromUtf8(tone.file)),
                              QString::fromUtf8(tone.file).section(u'.', -1), tone.hertz, tone.seconds, tone.peak));
    }

    void fileNames_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stem");
        QTest::newRow("opening") << QStringLiteral("nächste Haltestelle") << QStringLiteral("nächste_haltestelle");
        QTest::newRow("abbreviation") << QStringLiteral("S-Bhf. Wannsee") << QStringLiteral("s_bhf_wannsee");
        QTest::newRow("capitals, blanks at the ends") << QStringLiteral("  ÖLBERG (Süd)  ") << QStringLiteral("ölberg_süd");
        QTest::newRow("umlaut decomposed") << QStringLiteral("Scho\u0308neweide") << QStringLiteral("schöneweide");
        QTest::newRow("240 bytes fit") << QString(120, u'ä') << QString(120, u'ä');
        QTest::newRow("300 characters do not") << QString(300, u'a') << QString();
    }

    void fileNames()
    {
        QFETCH(QString, text);
        QFETCH(QString, stem);
        QCOMPARE(recordingStem(text), stem);
    }

    // A tone in each format libsndfile writes here comes out mono at the
    // synthesiser's rate, as long as it was, at its pitch, and as loud as
    // the voice whether it was recorded quietly or loudly.
    void formats_data()
    {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<double>("peak");
        for (const QString& extension : Recordings::extensions) {
            if (!soundFormat(extension)) {
                qInfo() << "libsndfile does not write" << extension << "here";
                continue;
            }
            QTest::addRow("%s quiet", qPrintable(extension)) << extension << 0.02;
            QTest::addRow("%s loud", qPrintable(extension)) << extension << 0.95;
        }
    }

    void formats()
    {
        QFETCH(QString, extension);
        QFETCH(double, peak);
        QTemporaryDir folder;
        QVERIFY(writeTone(folder.filePath(QStringLiteral("marktplatz.") + extension), extension, 440, 1.0, peak));
        Recordings recordings(folder.path(), synthesizer->sampleRate(), voiceLevel);
        const AnnouncementPart name = marktplatz();
        const Recordings::Found found = recordings.find(name);
        QVERIFY2(found.speech, qPrintable(found.note));
        QCOMPARE(found.note, QString());
        const Speech& speech = *found.speech;
        const int rate = synthesizer->sampleRate();
        QCOMPARE(speech.sampleRate, rate);
        // Lossy coders pad the ends a little.
        QVERIFY2(std::abs(speech.seconds() - 1.0) < 0.08, qPrintable(QString::number(speech.seconds())));
        const double heard = pitch(speech.samples, rate, speech.samples.size() / 4, speech.samples.size() / 2);
        QVERIFY2(std::abs(heard - 440) < 5, qPrintable(QString::number(heard)));
        const double level = speechLevel(speech);
        QVERIFY2(level > voiceLevel * 0.85 && level < voiceLevel * 1.15,
                 qPrintable(QStringLiteral("%1 against the voice's %2").arg(level).arg(voiceLevel)));
    }

    // German parts are in the folder itself, those of a second language in
    // its subfolder; a language never leads out of the folder.
    void languageFolders_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("found");
        QTest::newRow("German") << QStringLiteral("de") << QString() << true;
        QTest::newRow("English") << QStringLiteral("en") << QStringLiteral("en") << true;
        QTest::newRow("English, only a German recording") << QStringLiteral("en") << QString() << false;
        QTest::newRow("out of the folder") << QStringLiteral("../aussen") << QStringLiteral("../aussen") << false;
    }

    void languageFolders()
    {
        QFETCH(QString, language);
        QFETCH(QString, where);
        QFETCH(bool, found);
        QTemporaryDir root;
        const QString folder = root.filePath(QStringLiteral("ordner"));
        const QString beside = QDir(folder).filePath(where);
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(beside));
        QVERIFY(writeTone(QDir(beside).filePath(QStringLiteral("marktplatz.wav")), QStringLiteral("wav"), 440, 0.5, 0.3));
        Recordings recordings(folder, synthesizer->sampleRate(), voiceLevel);
        const AnnouncementPart name = marktplatz(language);
        QCOMPARE(bool(recordings.find(name).speech), found);
    }

    // A file that is too long or no audio, or none at all: the voice speaks
    // the part, and it is said once per file in one line, not at each call.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("note");
        QTest::addColumn<bool>("refused");
        QTest::newRow("too long") << QByteArray() << QStringLiteral("wav") << QStringLiteral("abgelehnt (länger als 30 s)") << true;
        QTest::newRow("not audio") << QByteArray("Marktplatz = Markt Platz\n") << QStringLiteral("mp3")
                                   << QStringLiteral("abgelehnt (keine Audiodatei") << true;
        QTest::newRow("too big") << QByteArray() << QStringLiteral("wav") << QStringLiteral("abgelehnt (größer als 32 MiB)") << true;
        QTest::newRow("missing") << QByteArray() << QString() << QStringLiteral("Keine Aufnahme") << false;
    }

    void refused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, extension);
        QFETCH(QString, note);
        QFETCH(bool, refused);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("marktplatz.") + extension);
        if (QString(QTest::currentDataTag()) == QStringLiteral("too long")) {
            QVERIFY(writeTone(path, extension, 440, Recordings::longestSeconds + 0.5, 0.5, 8000));
        } else if (QString(QTest::currentDataTag()) == QStringLiteral("too big")) {
            // A hole in a file: big without taking the room.
            QVERIFY(writeTone(path, extension, 440, 1.0, 0.5));
            QFile file(path);
            QVERIFY(file.resize(Recordings::largestFile + 1));
        } else if (!extension.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        }
        Recordings recordings(folder.path(), synthesizer->sampleRate(), voiceLevel);
        const AnnouncementPart name = marktplatz();
        const Recordings::Found first = recordings.find(name);
        QVERIFY(!first.speech);
        QVERIFY2(first.note.contains(note) && first.note.endsWith(QStringLiteral("die Stimme spricht: Marktplatz"))
                     && !first.note.contains(u'\n'),
                 qPrintable(first.note));
        QCOMPARE(first.refused, refused);
        const Recordings::Found again = recordings.find(name);
        QVERIFY(!again.speech);
        QCOMPARE(again.note, QString());
    }

    // The first part goes to the output before announce() returns; then the
    // recorded parts and the spoken name follow in order, the name as loud
    // as the recordings beside it, and the speech ends after the last part.
    void announcementInParts()
    {
        Made made(*synthesizer, scratch.path(), voiceLevel);
        made.announcer.announce(1, terminus);
        KeptOutput* output = made.output;
        QVERIFY(output);
        QCOMPARE(output->calls.size(), 1u);
        QCOMPARE(output->calls[0].kind, KeptOutput::Call::Play);
        QTRY_VERIFY(output->finished());
        QCOMPARE(output->outcomes, std::vector<AudioOutput::Outcome::Kind>{AudioOutput::Outcome::Done});

        const std::vector<std::int16_t> all = output->lastSpeech();
        const int rate = synthesizer->sampleRate();
        const auto length = [rate](const Tone& tone) { return std::size_t(tone.seconds * rate); };
        // The first part handed over is the gong's recording alone (the
        // resampler may give a sample less or more).
        QVERIFY2(std::abs(double(output->calls[0].samples.size()) - double(length(gongTone))) <= 4,
                 qPrintable(QString::number(output->calls[0].samples.size())));
        QVERIFY(toneAt(all, rate, 0, gongTone));
        QVERIFY(toneAt(all, rate, length(gongTone), openingTone));
        const std::size_t spokenFrom = length(gongTone) + length(openingTone);
        QVERIFY(all.size() > spokenFrom + length(endingTone));
        const std::size_t spokenTo = all.size() - length(endingTone);
        QVERIFY(toneAt(all, rate, spokenTo, endingTone));
        const double spoken = double(spokenTo - spokenFrom) / rate;
        QVERIFY2(spoken > 0.5 && spoken < 2.0, qPrintable(QString::number(spoken)));

        const auto levelOf = [&](std::size_t from, std::size_t to) {
            return speechLevel(Speech{rate, {all.begin() + long(from), all.begin() + long(to)}});
        };
        const double name = levelOf(spokenFrom, spokenTo);
        qInfo() << "speech level: spoken name" << name << "opening recorded" << levelOf(length(gongTone), spokenFrom)
                << "ending recorded" << levelOf(spokenTo, all.size());
        for (const double recorded : {levelOf(length(gongTone), spokenFrom), levelOf(spokenTo, all.size())})
            QVERIFY2(recorded > name / 1.4 && recorded < name * 1.4,
                     qPrintable(QStringLiteral("recorded %1, spoken %2").arg(recorded).arg(name)));
    }

    // A newer call cuts off the one playing: nothing more of the first comes
    // after, not even its parts not made yet (here the terminus ending).
    void newerCallCutsOff()
    {
        Made made(*synthesizer, scratch.path(), voiceLevel);
        made.announcer.announce(1, terminus);
        KeptOutput* output = made.output;
        // One turn of the event loop: the gong and the opening words are out.
        QCoreApplication::processEvents();
        QCOMPARE(output->calls.size(), 2u);
        QCOMPARE(output->calls[1].kind, KeptOutput::Call::Append);
        made.latest = 2;
        made.announcer.announce(2, plain);
        QTRY_VERIFY(output->finished());
        QCOMPARE(output->outcomes,
                 (std::vector<AudioOutput::Outcome::Kind>{AudioOutput::Outcome::CutOff, AudioOutput::Outcome::Done}));
        std::vector<std::int16_t> all;
        int plays = 0;
        for (const KeptOutput::Call& call : output->calls) {
            plays += call.kind == KeptOutput::Call::Play;
            all.insert(all.end(), call.samples.begin(), call.samples.end());
        }
        QCOMPARE(plays, 2);
        const int rate = synthesizer->sampleRate();
        QVERIFY(!hasTone(all, rate, endingTone.hertz));
        // The second from its start: gong, opening words, the name spoken.
        const std::vector<std::int16_t> second = output->lastSpeech();
        QVERIFY(toneAt(second, rate, 0, gongTone));
        QVERIFY(toneAt(second, rate, std::size_t(gongTone.seconds * rate), openingTone));
    }
};

QTEST_GUILESS_MAIN(TestRecordings)
#include "tst_recordings.moc"
