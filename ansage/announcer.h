#pragma once
// The slow half of the companion, in a thread of its own so that the event
// loop that watches the clipboard never waits: makes each announcement into
// speech (pronunciation, synthesis, chime, volume), hands it to the audio
// output, and says how it went once that is known.

#include "audiooutput.h"
#include "pronunciation.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

class ExtraTexts;
class Synthesizer;

class Announcer : public QObject {
    Q_OBJECT
public:
    struct Settings {
        bool gong = true;
        int volume = 100; // percent
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
    void announce(quint64 number, const QString& text);
    // In the announcer's thread: cuts off what plays, lets go of the output
    // and ends the thread.
    void finish();

private:
    Synthesizer& synthesizer_;
    const Pronunciation pronunciation_;
    OutputMaker makeOutput_;
    std::unique_ptr<AudioOutput> output_; // made in the announcer's thread
    Settings settings_;
    Speech chime_; // the gong, made once for the synthesis's rate
    const std::atomic<quint64>& latest_;
};
