#pragma once
// The user's own recordings of the parts of an announcement: a folder of
// audio files named after what they say (recordingStem()), the German ones
// in the folder itself and those of a second language in a subfolder named
// after it ("en/"). Each is decoded by libsndfile, mixed to mono, brought
// to the synthesiser's rate by libsamplerate and levelled to the synthetic
// voice, so that a recorded name is as loud as a spoken one.

#include "announcementparts.h"
#include "speech.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QString>

#include <atomic>
#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A recording in memory, decoded and mixed to mono at `sampleRate`, not yet
// levelled: samples in [-1, 1] as libsndfile gives them (a float file may
// hold louder ones, which levelling brings back). Empty and one line why
// (without a full stop) when the bytes are not audio libsndfile reads, or
// are longer than Recordings::longestSeconds.
std::vector<float> decodeRecording(const QByteArray& bytes, int sampleRate, QString* why);

// How loud speech sounds, as one figure comparable between a recording and
// the synthetic voice: the RMS of the 20-ms windows that are no more than
// 30 dB below the loudest one, so that the pauses and the silence around
// a word do not count. Full scale is 1.
double speechLevel(const std::vector<float>& samples, int sampleRate);
double speechLevel(const Speech& speech);

class Recordings {
public:
    static constexpr double longestSeconds = 30;
    // A file bigger than this is refused before it is read: 30 s of
    // 96 kHz stereo at 32 bits is 23 MiB.
    static constexpr qint64 largestFile = 32 * 1024 * 1024;
    // What the decoded recordings held in memory may take: some 40 of the
    // longest at 22 050 Hz, or some hundreds of names.
    static constexpr std::size_t heldSamples = 24 * 1024 * 1024;
    // The extensions looked for, in this order, each also in capitals.
    static const QStringList extensions;

    // Whether the folder can be read: empty if so, else one line why not.
    static QString checkFolder(const QString& folder);

    // `voiceLevel` is speechLevel() of the synthetic voice: every recording
    // is brought to it.
    Recordings(const QString& folder, int sampleRate, double voiceLevel);
    // Gives up preloading and waits for the file it decodes.
    ~Recordings();
    Recordings(const Recordings&) = delete;
    Recordings& operator=(const Recordings&) = delete;

    // Decodes the folder's recordings (and its language subfolders') in a
    // thread of their own, as far as the memory bound allows, so that even
    // the first call with a long recording does not wait for it.
    void startPreloading();

    struct Found {
        // The recording to play, levelled, at the rate; null when there is
        // none to play and the voice speaks the part.
        std::shared_ptr<const Speech> speech;
        // One line to say about the part, once per file and run: that it is
        // not recorded (on stdout), or that its file was refused (on
        // stderr, `refused` set). Empty when nothing is to be said.
        QString note;
        bool refused = false;
    };
    Found find(const AnnouncementPart& part);

    // Where the part's recording is looked for, without the extension.
    QString base(const AnnouncementPart& part) const;

private:
    struct Held {
        qint64 size = 0;
        QDateTime modified;
        std::shared_ptr<const Speech> speech; // null: refused, see why
        QString why;
    };
    Found load(const QString& path, const AnnouncementPart& part);
    Held decode(const QString& path) const;
    std::optional<Held> heldAs(const QString& path, const QFileInfo& info);
    void keep(const QString& path, Held held);
    void preload();
    bool firstTime(const QString& what);

    QDir folder_;
    int sampleRate_;
    double voiceLevel_;
    // What is held, shared with the preloading thread.
    std::mutex mutex_;
    QHash<QString, Held> held_;
    std::list<QString> used_; // the paths held, the one used last at the front
    std::size_t heldSamples_ = 0;
    QSet<QString> said_;     // what was said about, once per run
    std::atomic<bool> stopping_ = false;
    std::thread preloading_; // last: stopped and joined first
};
