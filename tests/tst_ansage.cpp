// The companion that speaks the announcements: its synthesis in this
// process, without display or sound; then the real program under its own
// virtual X server, fed through the clipboard by xclip, writing WAV files,
// playing through ALSA into a capture file, and without any sound device.

#include <announcement.h>
#include <synthesizer.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>

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
        Companion(const QString& display, const QStringList& arguments, const QString& home = {})
        {
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

    void wavFilesFromTheClipboard()
    {
        const QString folder = scratch.filePath(QStringLiteral("wav"));
        Companion companion(display, {"--wav-dir", folder});
        QVERIFY(ready(companion));
        auto files = [&] { return QDir(folder).entryList({"*.wav"}, QDir::Files, QDir::Name); };

        // Neither another text nor an empty clipboard is spoken; the same
        // sentence twice is spoken twice.
        setClipboard(QStringLiteral("Haltestelle: nächste"));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(files().size(), 1, 10000);
        setClipboard(QString::fromUtf8(plain.text));
        setClipboard(QString::fromUtf8(plain.text));
        QTRY_COMPARE_WITH_TIMEOUT(files().size(), 3, 10000);
        QCOMPARE(files(), QStringList({"ansage-0001.wav", "ansage-0002.wav", "ansage-0003.wav"}));
        QTRY_COMPARE(companion.count("Ansage ("), 3);
        QCOMPARE(companion.count(QByteArray("): ") + plain.text + "\n"), 2);

        verifySpeech(readWav(QDir(folder).filePath(files()[0])), terminus);
        verifySpeech(readWav(QDir(folder).filePath(files()[1])), plain);
        verifySpeech(readWav(QDir(folder).filePath(files()[2])), plain);
    }

    void playbackThroughAlsaIntoACaptureFile()
    {
        const QString capture = scratch.filePath(QStringLiteral("captured.raw"));
        const QString home = homeWithAlsaDefault(
            QStringLiteral("capturing"),
            QStringLiteral("{ type file; slave.pcm \"null\"; file \"%1\"; format \"raw\" }").arg(capture).toUtf8());
        Companion companion(display, {}, home);
        QVERIFY(ready(companion));
        setClipboard(QString::fromUtf8(terminus.text));
        QTRY_COMPARE_WITH_TIMEOUT(companion.count("Ansage ("), 1, 10000);

        // espeak-ng varies an utterance by a few samples from one synthesis
        // to the next; a buffer lost or played twice is thousands.
        const Speech expected = synthesizer->synthesize(QString::fromUtf8(terminus.text));
        QFile file(capture);
        QTRY_VERIFY(file.size() > 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        Speech played;
        played.sampleRate = expected.sampleRate;
        played.samples.resize(size_t(file.size() / 2));
        file.read(reinterpret_cast<char*>(played.samples.data()), qint64(played.samples.size() * 2));
        QVERIFY2(std::abs(double(played.samples.size()) - double(expected.samples.size())) < 100,
                 qPrintable(QStringLiteral("%1 samples played, %2 synthesised")
                                .arg(played.samples.size())
                                .arg(expected.samples.size())));
        verifySpeech(played, terminus);
    }

    void withoutSoundDeviceItSaysSoAndListensOn()
    {
        const QString home = homeWithAlsaDefault(QStringLiteral("silent"), "{ type hw; card \"Nichtvorhanden\" }");
        Companion companion(display, {}, home);
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
