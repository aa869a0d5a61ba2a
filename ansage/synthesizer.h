#pragma once
// Speech synthesis with espeak-ng, synchronous and in memory: the text goes
// in, the samples come back, nothing is played or written here.

#include "speech.h"

#include <QStringList>

#include <functional>
#include <memory>

class Synthesizer {
public:
    static constexpr int slowest = 80;   // words per minute, espeak-ng's limits
    static constexpr int fastest = 450;
    static constexpr int normal = 175;

    // Loads espeak-ng and selects the voice and speed. espeak-ng keeps its
    // state per process, so only one synthesizer may exist at a time.
    // Returns null and a one-line reason when the voice data cannot be found
    // or the voice is unknown.
    static std::unique_ptr<Synthesizer> create(const QString& voice, int wordsPerMinute, QString* error);
    ~Synthesizer();
    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;

    // The whole text as speech; what stands between "[[" and "]]" is taken
    // as espeak-ng's phonemes, so outside text comes here only through
    // Pronunciation::spoken(), which keeps such brackets for its own rules.
    // Empty samples if espeak-ng refused it, or
    // when goOn, asked now and then, says to give up.
    Speech synthesize(const QString& text, const std::function<bool()>& goOn = {});
    // The phonemes espeak-ng chose for the text, in IPA, one group per
    // clause separated by blanks.
    QString phonemes(const QString& text);

    int sampleRate() const { return sampleRate_; }

    // The installed voices, one line each: language (what the voice
    // option takes), then name. Needs no
    // synthesizer; for before one is made.
    static QStringList voices();

private:
    explicit Synthesizer(int sampleRate) : sampleRate_(sampleRate) {}
    int sampleRate_;
};
