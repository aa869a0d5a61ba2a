#pragma once
// The slow half of the companion, in a thread of its own so that the event
// loop that watches the clipboard never waits: makes each announcement into
// sound part by part (the gong, the opening words, the name, ...: each from
// the user's recording where there is one, else spoken with pronunciation
// and synthesis), hands the first part to the audio output at once and the
// others as they are made, and says how it went once that is known.

#include "announcementparts.h"
#include "audiooutput.h"
#include "pronunciation.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ExtraTexts;
class Recordings;
class Synthesizer;

class Announcer : public QObject {
    Q_OBJECT
public:
    struct Settings {
        bool gong = true;
        int volume = 100; // percent
        // The user's recordings (--tonordner), used in the announcer's
        // thread only; none when null.
        Recordings* recordings = nullptr;
        const ExtraTexts* extras = nullptr;
        QStringList secondLanguages;
    };
    using OutputMaker = std::function<std::unique_ptr<AudioOutput>()>;
    static constexpr quint64 Ending = ~quint64(0);

    // `latest` is the number of the newest announcement; one that is no
    // longer the newest is given up wherever it is, quietly when `latest` is
    // Ending.
    Announcer(Synthesizer& synthesizer, const Pronunciation& pronunciation, OutputMaker makeOutput,
              Settings settings, const std::atomic<quint64>& latest);
    ~Announcer() override;

    // In the announcer's thread: speaks the announcement with that number.
    // Its first part goes to the output before this returns; each later one
    // is made in a turn of the event loop of its own, so that the output
    // keeps the device fed meanwhile and a newer call is seen between them.
    void announce(quint64 number, const QString& text);
    // In the announcer's thread: cuts off what plays, lets go of the output
    // and ends the thread.
    void finish();

private:
    // What has been put out of an announcement, shared with the output's
    // report of it.
    struct Progress {
        double seconds = 0;
        bool ended = false; // reported: cut off, failed or done
    };
    struct Job {
        quint64 number = 0;
        QString text;
        QList<AnnouncementPart> parts;
        qsizetype next = 0;
        bool started = false; // the output has its first part
        std::shared_ptr<Progress> progress = std::make_shared<Progress>();
    };
    void step();
    void abandon();
    std::shared_ptr<const Speech> recorded(const AnnouncementPart& part);
    void speak(const QString& language, const QString& text);
    void hand(const std::int16_t* samples, std::size_t count);
    AudioOutput::Report reportFor(const Job& job) const;

    Synthesizer& synthesizer_;
    const Pronunciation pronunciation_;
    OutputMaker makeOutput_;
    std::unique_ptr<AudioOutput> output_; // made in the announcer's thread
    Settings settings_;
    Speech chime_; // the gong, made once for the synthesis's rate
    const std::atomic<quint64>& latest_;
    std::optional<Job> job_; // the announcement still being made
};
