// How soon an announcement's first sound reaches the sound device: from the
// call of Announcer::announce() to the first samples the device takes, on
// the device's own thread, through the companion's DevicePlayer. The device
// here takes everything at once and keeps nothing (no ALSA, no sound
// server), so that what is timed is the companion's own part.
//
// Each way an announcement can begin is timed: the built-in gong, a
// recording held in memory, a recording read and decoded at this call (one
// changed since the call before, or in a folder not yet preloaded) of 0.6
// and of 29 s, and the voice (no gong, nothing recorded). The floor, timed the same way in
// the same run: a buffer of the first part's size copied and handed to the
// same player, which is what any announcer has to do at the least.
//
//   bench_ansage [rounds]     (default 50)

#include <announcer.h>
#include <deviceplayer.h>
#include <gong.h>
#include <recordings.h>
#include <synthesizer.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <unistd.h>

namespace {
// Takes every sample at once and notes when the first came.
struct TimingDevice : PcmDevice {
    std::atomic<qint64>& firstWrite;
    const QElapsedTimer& clock;
    TimingDevice(std::atomic<qint64>& first, const QElapsedTimer& c) : firstWrite(first), clock(c) {}
    QString name() const override { return QStringLiteral("timing"); }
    QString open(int) override { return {}; }
    long write(const std::int16_t*, std::size_t count) override
    {
        qint64 none = -1;
        firstWrite.compare_exchange_strong(none, clock.nsecsElapsed());
        return long(count);
    }
    long pending() override { return 0; }
    long rewind(long) override { return 0; }
    void drain() override {}
    Drain drained() override { return Drain::Done; }
    int gaps() const override { return 0; }
    void close() override {}
    QString error() const override { return {}; }
};

struct Figures {
    double median, p95;
};

Figures figures(std::vector<double> micros)
{
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[std::min(micros.size() - 1, micros.size() * 95 / 100)]};
}

bool writeOpening(const QString& path, double seconds)
{
    // The opening words as a tone, 48 kHz stereo FLAC, as a user's
    // recording might come.
    SF_INFO info{};
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    info.channels = 2;
    info.samplerate = 48000;
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = sf_count_t(seconds * 48000);
    std::vector<float> samples(std::size_t(2 * frames));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.3 * std::sin(2 * std::numbers::pi * 500 * double(i / 2) / 48000));
    sf_writef_float(file, samples.data(), frames);
    return sf_close(file) == 0;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    // The table on standard output; the companion's own lines (one per
    // announcement) are left out.
    std::FILE* table = fdopen(dup(fileno(stdout)), "w");
    if (!table || !std::freopen("/dev/null", "w", stdout))
        return 1;
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 50;
    QString error;
    const std::unique_ptr<Synthesizer> synthesizer = Synthesizer::create(QStringLiteral("de"), Synthesizer::normal, &error);
    if (!synthesizer) {
        std::fprintf(stderr, "bench_ansage: %s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir folder, longFolder;
    if (!writeOpening(folder.filePath(QStringLiteral("nächste_haltestelle.flac")), 0.6)
        || !writeOpening(longFolder.filePath(QStringLiteral("nächste_haltestelle.flac")), 29)) {
        std::fprintf(stderr, "bench_ansage: cannot write the recording\n");
        return 1;
    }
    const double voiceLevel = speechLevel(synthesizer->synthesize(QStringLiteral("nächste Haltestelle")));
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> firstWrite{-1};
    const auto waitForFirstWrite = [&] {
        while (firstWrite.load() < 0) {
            QCoreApplication::processEvents();
            QThread::yieldCurrentThread();
        }
    };
    const QString sentence = QStringLiteral("nächste Haltestelle: Marktplatz");

    // The floor: the built-in gong's samples copied and handed to a player.
    std::vector<double> floor;
    {
        DevicePlayer player(std::make_unique<TimingDevice>(firstWrite, clock));
        const Speech chime = gong(synthesizer->sampleRate());
        for (int round = 0; round < rounds; ++round) {
            firstWrite = -1;
            const qint64 start = clock.nsecsElapsed();
            Speech copy = chime;
            player.play(copy, [](const AudioOutput::Outcome&) {});
            waitForFirstWrite();
            floor.push_back(double(firstWrite - start) / 1000);
        }
    }

    struct Way {
        const char* name;
        bool gong, recorded, cold, longest = false;
    };
    const Way ways[] = {
        {"gong (built-in)", true, false, false},
        {"recording in memory", false, true, false},
        {"recording read at the call", false, true, true},
        {"the same, 29 s long", false, true, true, true},
        {"voice", false, false, false},
    };
    const Figures floorFigures = figures(floor);
    std::fprintf(table, "%-28s %10s %10s %8s\n", "first part", "median µs", "p95 µs", "ratio");
    std::fprintf(table, "%-28s %10.0f %10.0f %8s\n", "floor (copy and hand over)", floorFigures.median, floorFigures.p95, "1.0");
    for (const Way& way : ways) {
        std::atomic<quint64> latest{0};
        const QString from = way.longest ? longFolder.path() : folder.path();
        Recordings recordings(from, synthesizer->sampleRate(), voiceLevel);
        Announcer::Settings settings;
        settings.gong = way.gong;
        settings.recordings = way.recorded ? &recordings : nullptr;
        Announcer announcer(*synthesizer, Pronunciation(), [&]() -> std::unique_ptr<AudioOutput> {
            return std::make_unique<DevicePlayer>(std::make_unique<TimingDevice>(firstWrite, clock));
        }, settings, latest);
        std::vector<double> times;
        const int roundsHere = way.longest ? std::min(rounds, 10) : rounds;
        for (int round = -1; round < roundsHere; ++round) { // one unrecorded round first
            if (way.cold) { // changed since the round before: read again
                QFile file(QDir(from).filePath(QStringLiteral("nächste_haltestelle.flac")));
                if (!file.open(QIODevice::ReadWrite)
                    || !file.setFileTime(QDateTime::currentDateTime().addSecs(round + 2), QFileDevice::FileModificationTime))
                    return 1;
            }
            firstWrite = -1;
            const quint64 number = ++latest;
            const qint64 start = clock.nsecsElapsed();
            announcer.announce(number, sentence);
            waitForFirstWrite();
            if (round >= 0)
                times.push_back(double(firstWrite - start) / 1000);
            // Let the rest be made before the next round.
            QElapsedTimer settle;
            settle.start();
            while (settle.elapsed() < 30)
                QCoreApplication::processEvents();
        }
        const Figures f = figures(times);
        std::fprintf(table, "%-28s %10.0f %10.0f %8.1f\n", way.name, f.median, f.p95, f.median / floorFigures.median);
        std::fflush(table);
    }
    return 0;
}
