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
    // Pronunciation::spoken(), which keeps such brackets for its own rules
    // (or, in another language, with such brackets made single).
    // Empty samples if espeak-ng refused it, or when goOn, asked now and
    // then, says to give up. `piece`, where given, is handed each stretch of
    // samples as espeak-ng makes it (some 60 ms of sound each), so that
    // playing can begin before the text is done; the samples are then not
    // gathered in the result.
    using Piece = std::function<void(const std::int16_t* samples, std::size_t count)>;
    Speech synthesize(const QString& text, const std::function<bool()>& goOn = {}, const Piece& piece = {});
    // The voice for the text that follows: "de" is the user's own voice
    // (--voice), any other language espeak-ng's voice of that name. False
    // when espeak-ng has no such voice; the voice is then unchanged.
    bool useLanguage(const QString& language);
    // The phonemes espeak-ng chose for the text, in IPA, one group per
    // clause separated by blanks.
    QString phonemes(const QString& text);

    int sampleRate() const { return sampleRate_; }

    // The installed voices, one line each: language (what the voice
    // option takes), then name. Needs no
    // synthesizer; for before one is made.
    static QStringList voices();

private:
    Synthesizer(int sampleRate, const QString& voice, int wordsPerMinute)
        : sampleRate_(sampleRate), voice_(voice), wordsPerMinute_(wordsPerMinute)
    {
    }
    int sampleRate_;
    const QString voice_;
    const int wordsPerMinute_;
    QString language_ = QStringLiteral("de");
};
