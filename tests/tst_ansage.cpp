// The companion that speaks the announcements: its synthesis in this
// process, without display or sound; then the real program under its own
// virtual X server, fed through the clipboard by xclip, writing WAV files,
// playing through ALSA into a capture file, and without any sound device.

#include <printedtail.h>
#include <tones.h>
#include <unuseddisplay.h>

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

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
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
// until advance() plays it. The player calls it from a thread of its own;
// the test can make every call, or only closing, hang there until it lets
// go, as a sound server that is stopped does.
struct PacedDevice : PcmDevice {
    std::mutex mutex;
    std::condition_variable released;
    std::size_t capacity = 1000;
    std::vector<std::int16_t> held, heard, dropped;
    std::size_t written = 0; // all it took, less what it gave back
    bool draining = false;
    std::atomic<bool> gone = false, hanging = false, closeHangs = false;
    // Whether it gives back unheard frames, and whether it plays out at once
    // when told to (else only advance() plays).
    bool rewindable = false, playsOnDrain = false;
    std::atomic<int> gapCount = 0;

    std::unique_lock<std::mutex> enter(bool closing = false)
    {
        std::unique_lock lock(mutex);
        released.wait(lock, [&] { return !hanging && !(closing && closeHangs); });
        return lock;
    }
    void hang(bool all, bool close)
    {
        {
            const std::lock_guard lock(mutex);
            hanging = all;
            closeHangs = close;
        }
        released.notify_all();
    }
    QString name() const override { return QStringLiteral("paced"); }
    QString open(int) override
    {
        const auto lock = enter();
        draining = false;
        return gone ? QStringLiteral("gone") : QString();
    }
    long write(const std::int16_t* frames, std::size_t count) override
    {
        const auto lock = enter();
        if (gone)
            return -1;
        count = std::min(count, capacity - held.size());
        held.insert(held.end(), frames, frames + count);
        written += count;
        return long(count);
    }
    long pending() override
    {
        const auto lock = enter();
        return long(held.size());
    }
    long rewind(long frames) override
    {
        const auto lock = enter();
        const long back = rewindable ? std::min(frames, long(held.size())) : 0;
        held.resize(held.size() - std::size_t(back));
        written -= std::size_t(back);
        return back;
    }
    void drain() override
    {
        const auto lock = enter();
        draining = true;
        if (playsOnDrain) {
            heard.insert(heard.end(), held.begin(), held.end());
            held.clear();
        }
    }
    // Like a real device, it plays out its last samples only when told to.
    Drain drained() override
    {
        const auto lock = enter();
        return draining && held.empty() ? Drain::Done : Drain::Playing;
    }
    int gaps() const override { return gapCount; }
    void close() override
    {
        const auto lock = enter(true);
        dropped.insert(dropped.end(), held.begin(), held.end());
        held.clear();
    }
    QString error() const override { return QStringLiteral("gone"); }
    void advance(std::size_t frames)
    {
        const std::lock_guard lock(mutex);
        frames = std::min(frames, held.size());
        heard.insert(heard.end(), held.begin(), held.begin() + long(frames));
        held.erase(held.begin(), held.begin() + long(frames));
    }
};

// Lets the player hear back from the device after the test moved its
// clock: one round to take in what it says now, one to be sure of it.
bool settle(DevicePlayer& player)
{
    for (int round = 0; round < 2; ++round) {
        if (!QTest::qWaitFor([&] { return !player.deviceBusy(); }, 5000))
            return false;
        player.feed();
    }
    return QTest::qWaitFor([&] { return !player.deviceBusy(); }, 5000);
}

Speech tone(std::int16_t value, std::size_t count, int rate = 1000)
{
    return {rate, std::vector<std::int16_t>(count, value)};
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
        // A check that failed while it ran shows what it printed last.
        ~Companion()
        {
            process.kill();
            process.waitForFinished();
            read();
            testsupport::printTailIfFailed("the companion", out + err);
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
    // no display, or one where no X server answers, 1 (with one line of
    // its own saying why, not Qt's abort).
    void exitStatus_data()
    {
        QTest::addColumn<QString>("onDisplay");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::newRow("version") << QString() << QStringList{"--version"} << 0;
        QTest::newRow("unknown option") << display << QStringList{"--laut"} << 2;
        QTest::newRow("value out of range") << display << QStringList{"--speed", "20"} << 2;
        QTest::newRow("second language not offered") << display << QStringList{"--zweitsprache", "fr"} << 2;
        QTest::newRow("extra-text file missing") << display << QStringList{"--zusatz", scratch.filePath("fehlt.txt")} << 2;
        QTest::newRow("no display") << QString() << QStringList{"--ohne-gong"} << 1;
        QTest::newRow("recordings folder missing") << display << QStringList{"--tonordner", "/nichtda/aufnahmen"} << 2;
        QTest::newRow("recordings folder a file") << display << QStringList{"--tonordner", "/etc/hostname"} << 2;
        QTest::newRow("no X server there") << testsupport::unusedDisplay() << QStringList{"--ohne-gong"} << 1;
        QTest::newRow("not a display's name") << QStringLiteral(":") << QStringList{"--ohne-gong"} << 1;
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
        if (status != 0) {
            QCOMPARE(companion.err.count('\n'), 1);
            QVERIFY2(companion.err.startsWith("pendralumovista-ansage: "), companion.err.constData());
        }
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
        // left out, and what they must not, with stress marks, each as a
        // pattern.
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
            // Debian 12's espeak-ng says Müller with a long [y], Debian 13's
            // with the right short [ʏ].
            {"Dr.-Müller-Str.", "dɔktoːɾm[yʏ]lɜʃtɾɑːsə", "ʃtɾˈɑː"},
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
            // The full stop of an abbreviation inside a name is gone, and
            // with it the letter read aloud; a number after a street stays
            // a cardinal.
            {"Bf. Altona", "bɑːnhoːfaltoːn", ""},
            {"Bhf. Zoo", "bɑːnhoːftsoː", ""},
            {"S-Bhf. Wannsee", "ɛsbɑːnhoːfvanzeː", ""},
            {"U-Bhf. Rathaus", "uːbɑːnhoːfrɑːthaʊs", ""},
            {"Hbf. Ost", "haʊptbɑːnhoːfɔst", ""},
            {"Kaiserstr. 12", "ʃtɾɑːsətsvœlf$", ""},
            {"Pl. d. Republik", "platsdɛɾ", "dˈeː"},
            // Without their full stop, in capitals, in a compound.
            {"HBF", "haʊptbɑːnhoːf", ""},
            {"Hauptbf.", "haʊptbɑːnhoːf", ""},
            {"Bahnhofstr", "bɑːnhoːfʃtɾɑːsə", twoMainStresses},
            {"Goethepl", "ɡøːtəplats", ""},
            {"KAISERSTR. 12", "kaɪzɜʃtɾɑːsətsvœlf", ""},
            {"S-BHF. WANNSEE", "ɛsbɑːnhoːfvanzeː", ""},
            // Joined, a name beginning like a prefix loses its stress
            // ("Ge-SSLER-straße"): it keeps its hyphen.
            {"Dr.-Gessler-Str.", "dɔktoːɾɡɛslɜʃtɾɑːsə", "ɡəsl|slˈ"},
            {"August-Bebel-Platz", "aʊɡʊstbeːbəlplats", "bəb"},
            {"Entner-Platz", "ɛntnɜplats", "ntnˈ"},
            {"Bergmann-Platz", "bɛɾɡmanplats", twoMainStresses},
            {"Rathausmarkt", "ɑːthaʊsmaɾkt", twoMainStresses},
            // A number before a street is an ordinal, its ending the street's.
            {"3. Querweg", "dɾɪtɜkvɛɾveːk", ""},
            {"2. Querstraße", "tsvaɪtəkvɛɾʃtɾɑːsə", ""},
            {"Linie 3. Bitte einsteigen", "liːnɪədɾaɪbɪtə", ""},
            // Names espeak-ng itself misreads: the vowel, the stress's place.
            {"Gänsemarkt", "ɡɛnzəmaɾkt", twoMainStresses},
            {"Gewerbegebiet", "ɡəvɛɾbəɡəbiːt", twoMainStresses},
            {"Ölberg", "øːlbɛɾk", ""},
            {"Schönhauser Allee", "ʃøːnhaʊzɜaleː", "ˈaleː"},
            {"Goethe", "ɡøːtə", ""},
            {"Goethestraße", "ɡøːtəʃtɾɑːsə", ""},
            {"Allee", "aleː", "ˈa"},
            {"Marienplatz", "ma[rɾ]iːənplats", "mˈ|ˈ\\S*ˈ"},
            {"Charlottenburg", "ʃaɾlɔtənb", "ʃˈ|ˈ\\S*ˈ"},
            {"Alexanderplatz", "alɛksandɜplats", "^ˈ|ˈ\\S*ˈ"},
            {"Kurfürstendamm", "kuːɾf[yʏ]ɾstəndam", "kˈ|ˈ\\S*ˈ"},
            {"Olympiastadion", "ol[yʏ]mpiaʃtaːdjɔn", "ˈoː|ˈ\\S*ˈ"},
            {"Einkaufscenter", "aɪnkaʊfsɛntɜ", ""},
            // Brackets from outside are text, not espeak-ng's phonemes.
            {"[[tsvIkaU]]", "", "tsvɪkaʊ"},
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
        QVERIFY2(withoutStress(phonemes).contains(QRegularExpression(contains)), qPrintable(phonemes));
        if (!lacks.isEmpty())
            QVERIFY2(!phonemes.contains(QRegularExpression(lacks)), qPrintable(phonemes));
    }

    // The terminus sentence follows the name; the full stop between them is
    // a pause, that is the end of a clause, whether the name ends in an
    // abbreviation written with its own full stop or without. Inside the
    // name the full stop of an abbreviation or an ordinal is none.
    void pronunciationPauseAfterTheName_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : {"Mainz Hbf", "Mainz Hbf.", "Bf", "Bf.", "U-Bhf", "U-Bhf.", "Bergstr.", "Grünau Abzw.",
                                 "Grünau Abzw", "Gleis 3", "Bf. Altona", "Bhf. Zoo", "S-Bhf. Wannsee", "U-Bhf. Rathaus",
                                 "Hbf. Ost", "Kaiserstr. 12", "Pl. d. Republik", "3. Querweg"})
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
        static const char withNul[] = "Lok = Lok\0omotive\n";
        QTest::newRow("NUL") << QByteArray(withNul, sizeof withNul - 1) << QString() << QStringLiteral("Zeile 1: enthält ein Steuerzeichen");
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
    // reported (and gaps in it are told), and a device that goes away is
    // reported with what was lost.
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
        QVERIFY(settle(player));
        for (int tick = 0; tick < 3; ++tick) {
            device.advance(500);
            QVERIFY(settle(player));
        }
        player.play(tone(2, 3000), report);
        QCOMPARE(outcomes.size(), 1u);
        QCOMPARE(outcomes[0].kind, AudioOutput::Outcome::CutOff);
        QCOMPARE(outcomes[0].playedSeconds, 1.5);
        QVERIFY(settle(player));
        device.gapCount = 1;
        for (int tick = 0; tick < 100 && outcomes.size() < 2; ++tick) {
            device.advance(300);
            QVERIFY(settle(player));
        }
        QCOMPARE(outcomes.size(), 2u);
        QCOMPARE(outcomes[1].kind, AudioOutput::Outcome::Done);
        QCOMPARE(outcomes[1].detail, QStringLiteral("mit Aussetzern"));
        std::vector<std::int16_t> expected(1500, 1);
        expected.resize(4500, 2);
        QVERIFY(device.heard == expected);
        QCOMPARE(heardWhenReported[1], expected.size());

        device.gapCount = 0;
        player.play(tone(3, 3000), report);
        QVERIFY(settle(player));
        device.advance(700);
        device.gone = true;
        QVERIFY(settle(player));
        QCOMPARE(outcomes.size(), 3u);
        QCOMPARE(outcomes[2].kind, AudioOutput::Outcome::Failed);
        QCOMPARE(outcomes[2].playedSeconds, 0.7);
    }

    // A speech handed over in parts plays as one: the device plays the first
    // part out and waits, neither drained nor reported, until the next
    // comes; the end is reported once the last part is heard, with the
    // length of them all.
    void speechInParts()
    {
        auto owned = std::make_unique<PacedDevice>();
        PacedDevice& device = *owned;
        DevicePlayer player(std::move(owned));
        std::vector<AudioOutput::Outcome> outcomes;
        const auto report = [&](const AudioOutput::Outcome& outcome) { outcomes.push_back(outcome); };
        player.play(tone(1, 400), report, AudioOutput::More::Yes);
        for (const std::int16_t part : {2, 3}) {
            QVERIFY(settle(player));
            device.advance(400);
            QVERIFY(settle(player));
            QVERIFY(!device.draining);
            QVERIFY(outcomes.empty());
            QCOMPARE(device.heard.size(), std::size_t(400 * (part - 1)));
            player.append(std::vector<std::int16_t>(400, part), part == 3 ? AudioOutput::More::No : AudioOutput::More::Yes);
        }
        for (int tick = 0; tick < 100 && outcomes.empty(); ++tick) {
            device.advance(100);
            QVERIFY(settle(player));
        }
        QCOMPARE(outcomes.size(), 1u);
        QCOMPARE(outcomes[0].kind, AudioOutput::Outcome::Done);
        QCOMPARE(outcomes[0].playedSeconds, 1.2);
        std::vector<std::int16_t> expected(400, 1);
        expected.resize(800, 2);
        expected.resize(1200, 3);
        QVERIFY(device.heard == expected);
        // Nothing is taken once the speech has ended.
        player.append(std::vector<std::int16_t>(400, 4), AudioOutput::More::No);
        QVERIFY(settle(player));
        QCOMPARE(device.heard.size() + device.held.size(), expected.size());
    }

    // A sound server that is stopped holds any call on the device, or only
    // closing it. Either way the speech is given up within the stall
    // deadline (2 s, here allowed 4 s on a busy machine), each speech while
    // it hangs is refused at once with a line of its own, and once it comes
    // back the device plays again.
    void hangingDevice_data()
    {
        QTest::addColumn<bool>("everyCall");
        QTest::addColumn<QString>("why");
        QTest::newRow("every call") << true << QStringLiteral("Audiogerät „paced“ hängt (keine Antwort seit 2 s).");
        QTest::newRow("closing") << false << QStringLiteral("Audiogerät „paced“ spielt nicht weiter.");
    }

    void hangingDevice()
    {
        QFETCH(bool, everyCall);
        QFETCH(QString, why);
        auto owned = std::make_unique<PacedDevice>();
        PacedDevice& device = *owned;
        std::vector<AudioOutput::Outcome> outcomes;
        const auto report = [&](const AudioOutput::Outcome& outcome) { outcomes.push_back(outcome); };
        DevicePlayer player(std::move(owned));
        // Let go before the player ends, which waits for the device.
        const auto letGo = qScopeGuard([&] { device.hang(false, false); });
        {
            player.play(tone(1, 5000), report);
            QVERIFY(settle(player));
            device.advance(300);
            QVERIFY(settle(player));
            // Stopped: it plays nothing more, and its calls hang.
            device.hang(everyCall, true);
            QElapsedTimer stalled;
            stalled.start();
            QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1u, 6000);
            const qint64 delay = stalled.elapsed();
            qInfo() << "given up after" << delay << "ms";
            QVERIFY2(delay <= 4000, qPrintable(QString::number(delay)));
            QCOMPARE(outcomes[0].kind, AudioOutput::Outcome::Failed);
            QCOMPARE(outcomes[0].detail, why);
            QCOMPARE(outcomes[0].playedSeconds, 0.3);
            QVERIFY(player.deviceBusy());

            player.play(tone(2, 3000), report);
            player.play(tone(3, 3000), report);
            QCOMPARE(outcomes.size(), 3u);
            for (const std::size_t refused : {1u, 2u}) {
                QCOMPARE(outcomes[refused].kind, AudioOutput::Outcome::Failed);
                QCOMPARE(outcomes[refused].detail, QStringLiteral("Audiogerät „paced“ hängt noch."));
                QCOMPARE(outcomes[refused].playedSeconds, 0.0);
            }

            device.hang(false, false);
            QTRY_VERIFY_WITH_TIMEOUT(!player.deviceBusy(), 5000);
            player.play(tone(4, 800), report);
            QVERIFY(settle(player));
            device.advance(800);
            QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 4u, 5000);
            QCOMPARE(outcomes[3].kind, AudioOutput::Outcome::Done);
            QCOMPARE(outcomes[3].detail, QString());
            QVERIFY(std::vector<std::int16_t>(device.heard.end() - 800, device.heard.end())
                    == std::vector<std::int16_t>(800, 4));
        }
    }

    // Cutting off fades out over a few milliseconds where the device lets
    // the queued samples be reached, or where little is queued beyond its
    // reach; else it is dropped at once, as before.
    void fadeAtCutOff_data()
    {
        QTest::addColumn<bool>("rewindable");
        QTest::addColumn<int>("played");
        QTest::addColumn<bool>("fades");
        QTest::newRow("queued reached") << true << 1000 << true;
        QTest::newRow("little queued") << false << 4300 << true;
        QTest::newRow("much queued, out of reach") << false << 1000 << false;
    }

    void fadeAtCutOff()
    {
        QFETCH(bool, rewindable);
        QFETCH(int, played);
        QFETCH(bool, fades);
        constexpr int rate = 22050;
        constexpr std::int16_t loud = 20000;
        auto owned = std::make_unique<PacedDevice>();
        PacedDevice& device = *owned;
        device.capacity = rate / 5;
        device.rewindable = rewindable;
        DevicePlayer player(std::move(owned));
        std::vector<AudioOutput::Outcome> outcomes;
        player.play(tone(loud, rate, rate), [&](const AudioOutput::Outcome& outcome) { outcomes.push_back(outcome); });
        QVERIFY(settle(player));
        device.advance(std::size_t(played));
        const std::size_t queued = device.held.size();
        // From now on what it is told to play out is heard at once.
        device.playsOnDrain = true;
        player.stop(QStringLiteral("das Programm endet"));
        QCOMPARE(outcomes.size(), 1u);
        QCOMPARE(outcomes[0].kind, AudioOutput::Outcome::CutOff);
        QTRY_VERIFY_WITH_TIMEOUT(!player.deviceBusy(), 5000);

        const std::vector<std::int16_t>& heard = device.heard;
        if (!fades) {
            QCOMPARE(heard, std::vector<std::int16_t>(std::size_t(played), loud));
            QCOMPARE(device.dropped.size(), queued);
            return;
        }
        // Full loudness up to the ramp, which goes down to silence in steps
        // no bigger than the ramp's length allows, over 5-10 ms.
        QVERIFY(device.dropped.empty());
        auto ramp = std::find_if(heard.begin(), heard.end(), [&](std::int16_t sample) { return sample != loud; });
        const long fade = long(heard.end() - ramp);
        QVERIFY2(fade >= rate / 200 && fade <= rate / 100, qPrintable(QString::number(fade)));
        QCOMPARE(std::size_t(ramp - heard.begin()), rewindable ? std::size_t(played) : std::size_t(device.capacity));
        int previous = loud;
        for (; ramp != heard.end(); ++ramp) {
            QVERIFY2(*ramp <= previous && previous - *ramp <= 2 * loud / fade, qPrintable(QString::number(*ramp)));
            previous = *ramp;
        }
        QVERIFY2(previous < loud / 50, qPrintable(QString::number(previous)));
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
        // twice. Each copy waits for the file of the one before: a call that
        // comes while the one before is still being synthesized replaces it,
        // as it should, and a slow machine would make that a lost file here.
        setClipboard(QStringLiteral("Notiz: nächste Haltestelle: Gestern"));
        setClipboard(QString::fromUtf8(plain.text) + QString(longestAnnouncement, QLatin1Char('a')));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(files().size(), 2, 10000);
        QCOMPARE(companion.count("Zu lang", true), 1);
        setClipboard(QString::fromUtf8(plain.text));
        QTRY_COMPARE_WITH_TIMEOUT(files().size(), 3, 10000);
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

    // With a folder of recordings, each call is one file: the recorded
    // parts in order, the missing name spoken between them. A name not
    // recorded and one whose recording is refused (too long) are each said
    // once in a line, not at every call.
    void recordedParts()
    {
        const QString recordings = scratch.filePath(QStringLiteral("aufnahmen"));
        QVERIFY(QDir().mkpath(recordings));
        struct Tone {
            QString stem;
            double hertz, seconds;
            QString format;
        };
        const QString mp3 = testsupport::soundFormat(QStringLiteral("mp3")) ? QStringLiteral("mp3") : QStringLiteral("wav");
        const Tone tones[] = {{QStringLiteral("gong"), 1000, 0.4, QStringLiteral("ogg")},
                              {QStringLiteral("nächste_haltestelle"), 500, 0.6, QStringLiteral("flac")},
                              {QStringLiteral("endstelle_bitte_aussteigen"), 700, 0.5, mp3}};
        for (const Tone& tone : tones)
            QVERIFY(testsupport::writeTone(QDir(recordings).filePath(tone.stem + u'.' + tone.format), tone.format,
                                           tone.hertz, tone.seconds, 0.3));
        QVERIFY(testsupport::writeTone(QDir(recordings).filePath(QStringLiteral("marktplatz.wav")), QStringLiteral("wav"),
                                       300, 30.5, 0.3, 8000));
        QFile notAudio(QDir(recordings).filePath(QStringLiteral("rathaus.ogg")));
        QVERIFY(notAudio.open(QIODevice::WriteOnly) && notAudio.write("Rathaus = Rat-Haus\n") == 19);
        notAudio.close();
        const QString folder = scratch.filePath(QStringLiteral("wav-aufgenommen"));
        Companion companion(display, {"--wav-dir", folder, "--alle-texte", "--tonordner", recordings});
        QVERIFY(ready(companion));
        auto files = [&] { return QDir(folder).entryList({"*.wav"}, QDir::Files, QDir::Name); };
        const char* calls[] = {terminus.text, plain.text, terminus.text, "nächste Haltestelle: Rathaus", plain.text};
        for (int call = 0; call < 5; ++call) {
            setClipboard(QString::fromUtf8(calls[call]));
            QTRY_COMPARE_WITH_TIMEOUT(files().size(), call + 1, 10000);
        }
        QTRY_COMPARE(companion.count("Ansage ("), 5);
        QCOMPARE(companion.count("rathaus.ogg abgelehnt (keine Audiodatei, die libsndfile liest", true), 1);
        QCOMPARE(companion.count(QByteArray("Keine Aufnahme ") + QDir(recordings).filePath("waldschänke").toUtf8()
                                 + ".wav (oder .flac, .ogg, .opus, .mp3); die Stimme spricht: Waldschänke\n"),
                 1);
        QCOMPARE(companion.count("marktplatz.wav abgelehnt (länger als 30 s); die Stimme spricht: Marktplatz\n", true), 1);
        QCOMPARE(companion.count("Keine Aufnahme"), 1);

        for (const int call : {0, 2}) {
            const Speech speech = readWav(QDir(folder).filePath(files()[call]));
            const int rate = speech.sampleRate;
            QCOMPARE(rate, 22050);
            std::size_t at = 0;
            for (const Tone& tone : {tones[0], tones[1]}) {
                QVERIFY2(testsupport::toneAt(speech.samples, rate, at, tone.hertz, tone.seconds), qPrintable(tone.stem));
                at += std::size_t(tone.seconds * rate);
            }
            // The name spoken, then the ending as long as its recording
            // (give or take the coder's padding) at the end.
            const Tone& ending = tones[2];
            const std::size_t endingFrom = testsupport::toneStart(speech.samples, rate, at, ending.hertz);
            QVERIFY(testsupport::toneAt(speech.samples, rate, endingFrom, ending.hertz, ending.seconds - 0.03));
            const double after = double(speech.samples.size() - endingFrom) / rate;
            QVERIFY2(std::abs(after - ending.seconds) < 0.06, qPrintable(QString::number(after)));
            const double spoken = double(endingFrom - at) / rate;
            QVERIFY2(spoken > 0.5 && spoken < 2.0, qPrintable(QString::number(spoken)));
        }
        // The refused names are spoken: after the recorded parts, speech and
        // nothing at the too long one's tone.
        for (const int call : {1, 3}) {
            const Speech speech = readWav(QDir(folder).filePath(files()[call]));
            const double spoken = speech.seconds() - tones[0].seconds - tones[1].seconds;
            QVERIFY2(spoken > 0.5 && spoken < 2.0, qPrintable(QString::number(spoken)));
            QVERIFY(!testsupport::hasTone(speech.samples, speech.sampleRate, 300));
        }
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

    // The extra texts and the English part reach the sound: the file of a
    // terminus call lasts what its parts do, said one after the other. With
    // the English voice tried at start, SIGTERM still ends the program.
    void extraTextsAndSecondLanguage()
    {
        const QString folder = scratch.filePath(QStringLiteral("zweisprachig"));
        QFile extras(scratch.filePath(QStringLiteral("zusatz.txt")));
        QVERIFY(extras.open(QIODevice::WriteOnly | QIODevice::Truncate));
        extras.write("Waldsch\xC3\xA4nke = Ausstieg in Fahrtrichtung rechts.\n"
                     "*Endstelle [en] = Please take all your belongings with you.\n");
        extras.close();
        Companion companion(display, {"--wav-dir", folder, "--alle-texte", "--zusatz", extras.fileName(),
                                      "--zweitsprache", "en"});
        QVERIFY(ready(companion));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(companion.count("Ansage ("), 1, 20000);
        companion.process.terminate();
        QVERIFY(companion.process.waitForFinished(5000));
        QCOMPARE(companion.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(companion.process.exitCode(), 0);

        const QStringList files = QDir(folder).entryList({QStringLiteral("*.wav")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const Speech written = readWav(QDir(folder).filePath(files[0]));
        const auto seconds = [&](const QString& language, const char* text) {
            return synthesizer->useLanguage(language) ? synthesizer->synthesize(QString::fromUtf8(text)).seconds()
                                                      : 0.0;
        };
        const QString de = QStringLiteral("de"), en = QStringLiteral("en");
        const double parts = gong(written.sampleRate).seconds() + seconds(de, terminus.text)
                           + seconds(de, "Ausstieg in Fahrtrichtung rechts.") + seconds(en, "Next stop")
                           + seconds(de, "Waldschänke")
                           + seconds(en, "This is the final stop. Please leave the vehicle.")
                           + seconds(en, "Please take all your belongings with you.");
        QVERIFY(synthesizer->useLanguage(de));
        // A part left out is a second or more; pauses between the parts
        // differ by less.
        QVERIFY2(std::abs(written.seconds() - parts) < 1.0,
                 qPrintable(QStringLiteral("%1 s written, the parts %2 s").arg(written.seconds()).arg(parts)));
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

    // A device name ALSA does not know is refused at start in one line; the
    // list shows devices to play to, not the plugins that play to another
    // device (here one that takes its SLAVE as a rate converter does).
    void deviceNames()
    {
        Companion unknown(display, {"--alle-texte", "--geraet", "nichtda"});
        QVERIFY(unknown.process.waitForFinished(10000));
        QCOMPARE(unknown.process.exitCode(), 2);
        unknown.read();
        QCOMPARE(unknown.err, QByteArray("pendralumovista-ansage: ALSA kennt kein Gerät „nichtda“ (die Geräte zeigt "
                                         "--geraete).\n"));
        QCOMPARE(unknown.out, QByteArray());

        const QString home = homeWithAlsaDefault(
            QStringLiteral("listing"),
            "{ type null }\n"
            "pcm.lautsprecher { type null; hint { show on; description \"Lautsprecher im Test\" } }\n"
            "pcm.umrechner { @args [ SLAVE ] @args.SLAVE { type string; default \"null\" } type rate; "
            "slave.pcm $SLAVE; hint { show on; description \"Umrechner im Test\" } }");
        Companion listing(display, {"--geraete"}, home);
        QVERIFY(listing.process.waitForFinished(10000));
        QCOMPARE(listing.process.exitCode(), 0);
        QCOMPARE(listing.count("lautsprecher  Lautsprecher im Test\n"), 1);
        QCOMPARE(listing.count("null  "), 1);
        QCOMPARE(listing.count("umrechner"), 0);
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
