// The companion that speaks the announcements: its synthesis in this
// process, without display or sound; then the real program under its own
// virtual X server, fed through the clipboard by xclip, writing WAV files,
// playing through ALSA into a capture file, and without any sound device.

#include <announcement.h>
#include <deviceplayer.h>
#include <gong.h>
#include <pronunciation.h>
#include <synthesizer.h>

#include <espeak-ng/speak_lib.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <sys/resource.h>

#ifndef ANSAGE_BINARY
#error "ANSAGE_BINARY must name the companion under test"
#endif

namespace {
QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

double rms(const Speech& speech)
{
    double sum = 0;
    for (const std::int16_t sample : speech.samples)
        sum += double(sample) * sample;
    return speech.samples.empty() ? 0.0 : std::sqrt(sum / double(speech.samples.size()));
}

// The companion's WAV files: a 44-byte header of 16-bit PCM mono, then the
// samples. Returns empty samples if the header is not that.
Speech readWav(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const char* b = bytes.constData();
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(b + at); };
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(b + at); };
    if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 8) != "WAVEfmt " || u32(4) != quint32(bytes.size() - 8)
        || u16(20) != 1 || u16(22) != 1 || u16(34) != 16 || u32(28) != u32(24) * 2 || bytes.mid(36, 4) != "data"
        || u32(40) != quint32(bytes.size() - 44))
        return {};
    Speech speech;
    speech.sampleRate = int(u32(24));
    for (int at = 44; at + 1 < bytes.size(); at += 2)
        speech.samples.push_back(std::int16_t(u16(at)));
    return speech;
}

// Announcements of a plain stop and of a terminus, with the range their
// speech must last at the normal speed and the stop name in German IPA.
struct Sentence {
    const char* text;
    double shortest, longest;
    const char* namePhonemes;
};
const Sentence sentences[] = {
    {"nächste Haltestelle: Marktplatz", 1.2, 3.0, "mˈaɾktplats"},
    {"nächste Haltestelle: Waldschänke. Endstelle. Bitte aussteigen", 3.0, 5.5, "vˈaltʃɛŋkə"},
};
const Sentence& plain = sentences[0];
const Sentence& terminus = sentences[1];

void verifySpeech(const Speech& speech, const Sentence& sentence)
{
    QCOMPARE(speech.sampleRate, 22050);
    QVERIFY2(speech.seconds() >= sentence.shortest && speech.seconds() <= sentence.longest,
             qPrintable(QString::number(speech.seconds())));
    QVERIFY2(rms(speech) > 1000, qPrintable(QString::number(rms(speech)))); // full scale is 32767
}

// A sound device whose clock the test drives: it holds what it was given
// until advance() plays it.
struct PacedDevice : PcmDevice {
    std::size_t capacity = 1000;
    std::vector<std::int16_t> held, heard;
    bool draining = false, gone = false;
    QString name() const override { return QStringLiteral("paced"); }
    QString open(int) override
    {
        draining = false;
        return gone ? QStringLiteral("gone") : QString();
    }
    long write(const std::int16_t* frames, std::size_t count) override
    {
        if (gone)
            return -1;
        count = std::min(count, capacity - held.size());
        held.insert(held.end(), frames, frames + count);
        return long(count);
    }
    long pending() override { return long(held.size()); }
    void drain() override { draining = true; }
    // Like a real device, it plays out its last samples only when told to.
    Drain drained() override { return draining && held.empty() ? Drain::Done : Drain::Playing; }
    void close() override { held.clear(); }
    QString error() const override { return QStringLiteral("gone"); }
    void advance(std::size_t frames)
    {
        frames = std::min(frames, held.size());
        heard.insert(heard.end(), held.begin(), held.begin() + long(frames));
        held.erase(held.begin(), held.begin() + long(frames));
    }
};

Speech tone(std::int16_t value, std::size_t count)
{
    return {1000, std::vector<std::int16_t>(count, value)};
}

QString withoutStress(QString phonemes)
{
    return phonemes.remove(QRegularExpression(QStringLiteral("[ˈˌ\\s-]")));
}
} // namespace

class TestAnsage : public QObject {
    Q_OBJECT

    std::unique_ptr<Synthesizer> synthesizer;
    QTemporaryDir scratch;
    QProcess xvfb;
    QString display;

    // The companion as a user starts it, on the test's X server; ready once
    // it has said that it waits for announcements.
    struct Companion {
        QProcess process;
        QByteArray out, err;
        Companion(const QString& display, const QStringList& arguments, const QString& home = {},
                  const std::function<void()>& inChild = {})
        {
            process.setChildProcessModifier(inChild);
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), display);
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            if (!home.isEmpty())
                env.insert(QStringLiteral("HOME"), home);
            process.setProcessEnvironment(env);
            process.start(QStringLiteral(ANSAGE_BINARY), arguments);
        }
        ~Companion()
        {
            process.kill();
            process.waitForFinished();
        }
        void read()
        {
            out += process.readAllStandardOutput();
            err += process.readAllStandardError();
        }
        int count(const QByteArray& what, bool onStderr = false)
        {
            read();
            return int((onStderr ? err : out).count(what));
        }
    };

    bool ready(Companion& companion)
    {
        const bool waits = QTest::qWaitFor(
            [&] {
                return companion.count("Wartet auf Ansagen") == 1 || companion.process.state() == QProcess::NotRunning;
            },
            15000);
        if (!waits || companion.process.state() != QProcess::Running) {
            qWarning() << companion.err;
            return false;
        }
        return true;
    }

    // Puts a text on the clipboard from another process, as the simulator
    // does, and waits until the companion has read it: xclip serves one
    // request and ends, which the companion sees as an emptied clipboard.
    void setClipboard(const QString& text)
    {
        QProcess xclip;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        xclip.setProcessEnvironment(env);
        xclip.start(tool("xclip"), {"-quiet", "-loops", "1", "-selection", "clipboard", "-i"});
        xclip.write(text.toUtf8());
        xclip.closeWriteChannel();
        QVERIFY2(xclip.waitForFinished(10000), "nobody read the clipboard");
    }

    // A home folder whose ALSA configuration makes "default" the given device.
    QString homeWithAlsaDefault(const QString& name, const QByteArray& pcm)
    {
        const QString home = scratch.filePath(name);
        QDir().mkpath(home);
        QFile asoundrc(home + QStringLiteral("/.asoundrc"));
        if (asoundrc.open(QIODevice::WriteOnly))
            asoundrc.write("pcm.!default " + pcm + "\n");
        return home;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(scratch.isValid());
        QString error;
        synthesizer = Synthesizer::create(QStringLiteral("de"), Synthesizer::normal, &error);
        QVERIFY2(synthesizer, qPrintable(error));

        for (const char* needed : {"Xvfb", "xclip"})
            QVERIFY2(!tool(needed).isEmpty(), qPrintable(QStringLiteral("%1 is not installed").arg(needed)));
        // -displayfd: the server picks a free display and tells us which.
        xvfb.start(tool("Xvfb"), {"-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset"});
        QVERIFY(xvfb.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning, 15000);
        display = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine()).trimmed();
        QVERIFY2(xvfb.state() == QProcess::Running, xvfb.readAllStandardError().constData());
    }

    void cleanupTestCase()
    {
        xvfb.terminate();
        xvfb.waitForFinished();
    }

    void synthesis_data()
    {
        QTest::addColumn<int>("which");
        QTest::newRow("plain") << 0;
        QTest::newRow("terminus") << 1;
    }

    // The exit status for each cause, the same as the simulator's for the
    // same cause and as the manual page says: a wrong option or value 2,
    // no display 1 (with one line saying why).
    void exitStatus_data()
    {
        QTest::addColumn<QString>("onDisplay");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("version") << QString() << QStringList{"--version"} << 0;
        QTest::newRow("unknown option") << display << QStringList{"--laut"} << 2;
        QTest::newRow("value out of range") << display << QStringList{"--speed", "20"} << 2;
        QTest::newRow("no display") << QString() << QStringList{"--ohne-gong"} << 1;
    }

    void exitStatus()
    {
        QFETCH(QString, onDisplay);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        Companion companion(onDisplay, arguments);
        QVERIFY(companion.process.waitForFinished(15000));
        QCOMPARE(companion.process.exitCode(), status);
        companion.read();
        if (status != 0)
            QCOMPARE(companion.err.count('\n'), 1);
    }

    void synthesis()
    {
        QFETCH(int, which);
        const Sentence& sentence = sentences[which];
        const QString text = QString::fromUtf8(sentence.text);
        QVERIFY(isAnnouncement(text));
        verifySpeech(synthesizer->synthesize(text), sentence);
        // German pronunciation: an English voice says "w'0ldSENk".
        const QString phonemes = synthesizer->phonemes(text);
        QVERIFY2(phonemes.contains(QString::fromUtf8(sentence.namePhonemes)), qPrintable(phonemes));
    }

    void pronunciation_data()
    {
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("contains");
        QTest::addColumn<QString>("lacks");
        // The written name; what its phonemes must contain, stress marks
        // left out; and what they must not, with stress marks, as a pattern.
        struct Row {
            const char *written, *contains, *lacks;
        };
        // A compound is one word with one main stress, on its first part.
        const char* twoMainStresses = "ˈ\\S*ˈ";
        const Row rows[] = {
            // Abbreviations.
            {"Hbf", "haʊptbɑːnhoːf", ""},
            {"Bf.", "bɑːnhoːf", ""},
            {"U-Bhf Rathaus", "uːbɑːnhoːf", ""},
            {"Dr.-Müller-Str.", "dɔktoːɾmylɜʃtɾɑːsə", "ʃtɾˈɑː"},
            {"St. Johann", "zaŋkt", ""},
            {"Kr. Verwaltung", "kɾaɪs", ""},
            {"Ev. Krankenhaus", "eːvaŋɛlɪʃəs", ""},
            {"Prof.-Huber-Platz", "pɾoːfɛsoːɾhuːbɜplats", "plˈats"},
            {"Abzw. Nord", "aptsvaɪknɔɾt", ""},
            {"ZOB", "tsɛntɾɑːlɜɔmniːbʊsbɑːnhoːf", ""},
            {"Am ZOB", "tsɛntɾɑːlənɔmniːbʊsbɑːnhoːf", ""},
            // The lines before a name; the kind of station alone.
            {"S+U Hauptbahnhof", "ɛsʊntuːbɑːnhaʊptbɑːnhoːf", "bɑːnhoːfh"},
            {"S+U Marktplatz", "ɛsʊntuːbɑːnmaɾktplats", "bɑːnhoːfm"},
            {"S+U", "ɛsʊntuːbɑːnhoːf", ""},
            // A day of a month is an ordinal, whichever day.
            {"Straße des 17. Juni", "dɛsziːptseːntənjuːniː", ""},
            {"Platz des 3. Oktober", "dɾɪtənɔktoːbɜ", ""},
            {"Am 23. Mai", "dɾaɪʊnttsvantsɪçstənmaɪ", ""},
            // The seam of a compound: [ʃt], the first part's end voiceless,
            // "Rat-haus", no English, and one main stress.
            {"Königstraße", "køːnɪçʃtɾɑːsə", twoMainStresses},
            {"Brückenstraße", "ʃtɾ", twoMainStresses},
            {"Röntgenstraße", "ʃtɾ", twoMainStresses},
            {"Kirchstraße", "kɪɾçʃtɾɑːsə", twoMainStresses},
            {"Bergstr.", "bɛɾkʃtɾɑːsə", twoMainStresses},
            {"Marktpl.", "maɾktplats", twoMainStresses},
            {"Marktplatz", "maɾktplats", twoMainStresses},
            {"Ernst-Reuter-Platz", "ɔøtɜplats", "plˈats"},
            {"Jungfernstieg", "ʃtiːk", twoMainStresses},
            {"Rathaus", "ɑːthaʊs", twoMainStresses},
            {"Rathausplatz", "ɑːthaʊsplats", twoMainStresses},
            {"Rathausstraße", "ɑːthaʊsʃtɾɑːsə", twoMainStresses},
            {"Waldweg", "altveːk", twoMainStresses},
            {"Fußweg", "fuːsveːk", twoMainStresses},
            // The [ə] of a first part's end stays, at the price of a second stress.
            {"Schöneweide", "øːnəvaɪdə", "ɜː|\\(en\\)"},
            // The old spelling, ß after a short vowel, alone and before a seam.
            {"Schloßgarten", "ʃlɔsɡaɾtən", twoMainStresses},
            {"Schloßplatz", "ʃlɔsplats", twoMainStresses},
            {"Schloßweg", "ʃlɔsveːk", twoMainStresses},
            {"Flußweg", "flʊsveːk", twoMainStresses},
            {"Schloß", "ʃlɔs", ""},
            {"Fluß", "flʊs", ""},
            {"Roß", "rɔs", ""},
            {"Schluß", "ʃlʊs", ""},
            {"Kuß", "kʊs", ""},
            {"Lok-Depot", "loːkoːmoːtiːvə", ""}, // the user's own pair
        };
        for (const Row& row : rows)
            QTest::newRow(row.written) << QString::fromUtf8(row.written) << QString::fromUtf8(row.contains)
                                       << QString::fromUtf8(row.lacks);
    }

    // The phonemes espeak-ng chooses, not the rewritten text: what counts
    // is what the listener hears.
    void pronunciation()
    {
        QFETCH(QString, written);
        QFETCH(QString, contains);
        QFETCH(QString, lacks);
        Pronunciation list;
        QFile own(scratch.filePath(QStringLiteral("aussprache.txt")));
        QVERIFY(own.open(QIODevice::WriteOnly));
        own.write("# eigene\n\nLok = Lokomotive\n");
        own.close();
        QString error;
        QVERIFY2(list.addFile(own.fileName(), &error), qPrintable(error));
        const QString phonemes = synthesizer->phonemes(list.spoken(written));
        QVERIFY2(withoutStress(phonemes).contains(contains), qPrintable(phonemes));
        if (!lacks.isEmpty())
            QVERIFY2(!phonemes.contains(QRegularExpression(lacks)), qPrintable(phonemes));
    }

    // The terminus sentence follows the name; the full stop between them is
    // a pause, that is the end of a clause, whether the name ends in an
    // abbreviation written with its own full stop or without.
    void pronunciationPauseAfterTheName_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"Mainz Hbf", "Mainz Hbf.", "Bf", "Bf.", "U-Bhf", "U-Bhf.", "Bergstr.", "Grünau Abzw."})
            QTest::newRow(name) << QString::fromUtf8(name);
    }

    void pronunciationPauseAfterTheName()
    {
        QFETCH(QString, name);
        const Pronunciation list;
        const QString sentence = list.spoken(QStringLiteral("nächste Haltestelle: ") + name
                                             + QStringLiteral(". Endstelle. Bitte aussteigen"));
        // Clause by clause, as espeak-ng speaks them.
        QStringList clauses;
        const QByteArray utf8 = sentence.toUtf8();
        const void* rest = utf8.constData();
        while (rest)
            clauses << withoutStress(QString::fromUtf8(espeak_TextToPhonemes(&rest, espeakCHARS_UTF8, 0x02)));
        QVERIFY2(clauses.contains(QStringLiteral("ɛntʃtɛlə")), qPrintable(clauses.join(QLatin1Char('|'))));
        // Nor a pause inside the name.
        QVERIFY2(clauses.size() == 4 && clauses[0] == QStringLiteral("nɛçstəhaltɛʃtɛlə"),
                 qPrintable(clauses.join(QLatin1Char('|'))));
    }

    // The user's file as an editor saved it: UTF-8 with or without a byte
    // order mark, or Windows-1252 like the stop files beside it; its pairs
    // with umlauts, ß or a dash then match the names. Bytes that are
    // neither, control characters and an oversized file are refused with
    // one line.
    void pronunciationFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("refusal");
        const QByteArray pair = QString::fromUtf8("# Test\r\nWeißer Hirsch = Zwickau\r\nLöwen–Apotheke = Zwickau\r\n")
                                    .toUtf8();
        QStringDecoder fromUtf8(QStringDecoder::Utf8);
        QStringEncoder toWindows1252("windows-1252");
        const QByteArray windows1252 = toWindows1252(fromUtf8(pair));
        QVERIFY(!toWindows1252.hasError() && windows1252.size() < pair.size());
        for (const char* written : {"Weißer Hirsch", "Löwen–Apotheke"}) {
            const QString name = QString::fromUtf8(written);
            QTest::addRow("UTF-8, %s", written) << pair << name << QString();
            QTest::addRow("UTF-8 with BOM, %s", written) << QByteArray("\xEF\xBB\xBF") + pair << name << QString();
            QTest::addRow("Windows-1252, %s", written) << windows1252 << name << QString();
        }
        QTest::newRow("neither") << QByteArray("Stra\x81" "e = Strasse\n") << QString() << QStringLiteral("weder UTF-8");
        QTest::newRow("NUL") << QByteArray("Lok = Lok\0omotive\n", 20) << QString() << QStringLiteral("Zeile 1: enthält ein Steuerzeichen");
        QTest::newRow("escape") << QByteArray("\nLok = \x1B[31mLok\n") << QString() << QStringLiteral("Zeile 2: enthält ein Steuerzeichen");
        QTest::newRow("C1 in UTF-8") << QByteArray("Lok = Lok\xC2\x85omotive\n") << QString() << QStringLiteral("enthält ein Steuerzeichen");
        QTest::newRow("too big") << QByteArray(64 * 1024 + 1, 'a') << QString() << QStringLiteral("größer als 64 KiB");
    }

    void pronunciationFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, written);
        QFETCH(QString, refusal);
        QFile file(scratch.filePath(QStringLiteral("eigene.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        Pronunciation list;
        QString error;
        const bool added = list.addFile(file.fileName(), &error);
        if (!refusal.isEmpty()) {
            QVERIFY(!added);
            QVERIFY2(error.contains(refusal) && !error.contains(QLatin1Char('\n')), qPrintable(error));
            return;
        }
        QVERIFY2(added, qPrintable(error));
        const QString phonemes = withoutStress(synthesizer->phonemes(list.spoken(written)));
        QVERIFY2(phonemes.contains(QStringLiteral("tsvɪkaʊ")), qPrintable(phonemes));
    }

    // The device's clock goes only as the test says: a new speech cuts the
    // old one off at once, the last buffer is heard before the end is
    // reported, and a device that goes away is reported with what was lost.
    void pacedPlayback()
    {
        auto owned = std::make_unique<PacedDevice>();
        PacedDevice& device = *owned;
        DevicePlayer player(std::move(owned));
        std::vector<AudioOutput::Outcome> outcomes;
        std::vector<std::size_t> heardWhenReported;
        const auto report = [&](const AudioOutput::Outcome& outcome) {
            outcomes.push_back(outcome);
            heardWhenReported.push_back(device.heard.size());
        };
        player.play(tone(1, 5000), report);
        for (int tick = 0; tick < 3; ++tick) {
            device.advance(500);
            player.feed();
        }
        player.play(tone(2, 3000), report);
        QCOMPARE(outcomes.size(), 1u);
        QCOMPARE(outcomes[0].kind, AudioOutput::Outcome::CutOff);
        QCOMPARE(outcomes[0].playedSeconds, 1.5);
        for (int tick = 0; tick < 100 && outcomes.size() < 2; ++tick) {
            device.advance(300);
            player.feed();
        }
        QCOMPARE(outcomes.size(), 2u);
        QCOMPARE(outcomes[1].kind, AudioOutput::Outcome::Done);
        std::vector<std::int16_t> expected(1500, 1);
        expected.resize(4500, 2);
        QVERIFY(device.heard == expected);
        QCOMPARE(heardWhenReported[1], expected.size());

        player.play(tone(3, 3000), report);
        device.advance(700);
        device.gone = true;
        player.feed();
        QCOMPARE(outcomes.size(), 3u);
        QCOMPARE(outcomes[2].kind, AudioOutput::Outcome::Failed);
        QCOMPARE(outcomes[2].playedSeconds, 0.7);
    }

    void wavFilesFromTheClipboard()
    {
        const QString folder = scratch.filePath(QStringLiteral("wav"));
        QDir().mkpath(folder);
        // A file of an earlier run, which stays as it is.
        QFile earlier(QDir(folder).filePath(QStringLiteral("ansage-0002.wav")));
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("früher") == 7);
        earlier.close();
        Companion companion(display, {"--wav-dir", folder, "--alle-texte", "--ohne-gong"});
        QVERIFY(ready(companion));
        auto files = [&] { return QDir(folder).entryList({"*.wav"}, QDir::Files, QDir::Name); };

        // Neither another text, nor an empty clipboard, nor a text too long
        // for an announcement is spoken; the same sentence twice is spoken
        // twice.
        setClipboard(QStringLiteral("Notiz: nächste Haltestelle: Gestern"));
        setClipboard(QString::fromUtf8(plain.text) + QString(longestAnnouncement, QLatin1Char('a')));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(files().size(), 2, 10000);
        QCOMPARE(companion.count("Zu lang", true), 1);
        setClipboard(QString::fromUtf8(plain.text));
        setClipboard(QString::fromUtf8(plain.text));
        QTRY_COMPARE_WITH_TIMEOUT(files().size(), 4, 10000);
        // The numbers go on after the earlier run's.
        QCOMPARE(files(), QStringList({"ansage-0002.wav", "ansage-0003.wav", "ansage-0004.wav", "ansage-0005.wav"}));
        QTRY_COMPARE(companion.count("Ansage ("), 3);
        QCOMPARE(companion.count(QByteArray("): ") + plain.text + "\n"), 2);

        verifySpeech(readWav(QDir(folder).filePath(files()[1])), terminus);
        QVERIFY(earlier.open(QIODevice::ReadOnly) && earlier.readAll() == "früher");
        verifySpeech(readWav(QDir(folder).filePath(files()[2])), plain);
        verifySpeech(readWav(QDir(folder).filePath(files()[3])), plain);
    }

    // A disk that fills up (here a limit on the file size) leaves no file
    // behind, whole or partial, and says so; an end by SIGTERM is clean.
    void fullDisk()
    {
        const QString folder = scratch.filePath(QStringLiteral("voll"));
        Companion companion(display, {"--wav-dir", folder, "--alle-texte"}, {}, [] {
            const rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
        });
        QVERIFY(ready(companion));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(companion.count("nicht geschrieben", true), 1, 10000);
        QCOMPARE(companion.count("Ansage ("), 0);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
        companion.process.terminate();
        QVERIFY(companion.process.waitForFinished());
        QCOMPARE(companion.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(companion.process.exitCode(), 0);
    }

    void playbackThroughAlsaIntoACaptureFile()
    {
        const QString capture = scratch.filePath(QStringLiteral("captured.raw"));
        const QString home = homeWithAlsaDefault(
            QStringLiteral("capturing"),
            QStringLiteral("{ type file; slave.pcm \"null\"; file \"%1\"; format \"raw\" }").arg(capture).toUtf8());
        Companion companion(display, {"--alle-texte"}, home);
        QVERIFY(ready(companion));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(companion.count("Ansage ("), 1, 10000);

        // The gong, then the speech, all of it played when the line says so.
        // espeak-ng varies an utterance by a few samples from one synthesis
        // to the next; a buffer lost or played twice is thousands.
        const Speech speech = synthesizer->synthesize(QString::fromUtf8(terminus.text));
        Speech expected = gong(speech.sampleRate);
        expected.samples.insert(expected.samples.end(), speech.samples.begin(), speech.samples.end());
        QFile file(capture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        Speech played;
        played.sampleRate = expected.sampleRate;
        played.samples.resize(size_t(file.size() / 2));
        file.read(reinterpret_cast<char*>(played.samples.data()), qint64(played.samples.size() * 2));
        QVERIFY2(std::abs(double(played.samples.size()) - double(expected.samples.size())) < 100,
                 qPrintable(QStringLiteral("%1 samples played, %2 synthesised")
                                .arg(played.samples.size())
                                .arg(expected.samples.size())));
        QVERIFY(std::equal(played.samples.begin(), played.samples.begin() + 20000, expected.samples.begin()));
        const size_t chime = expected.samples.size() - speech.samples.size();
        verifySpeech({played.sampleRate, {played.samples.begin() + long(chime), played.samples.end()}}, terminus);
    }

    void withoutSoundDeviceItSaysSoAndListensOn()
    {
        const QString home = homeWithAlsaDefault(QStringLiteral("silent"), "{ type hw; card \"Nichtvorhanden\" }");
        Companion companion(display, {"--alle-texte"}, home);
        QVERIFY(ready(companion));
        setClipboard(QString::fromUtf8(plain.text));
        QTRY_COMPARE_WITH_TIMEOUT(companion.count("Kein Audiogerät", true), 1, 10000);
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(companion.count("Kein Audiogerät", true), 2, 10000);
        QCOMPARE(companion.count(QByteArray("Nicht gesprochen: ") + terminus.text + "\n", true), 1);
        QCOMPARE(companion.count("Ansage ("), 0);
        QCOMPARE(companion.process.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestAnsage)
#include "tst_ansage.moc"
