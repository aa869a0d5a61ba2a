#pragma once
// Writes each announcement as a numbered WAV file (16-bit PCM mono) into a
// folder instead of playing it: for machines without sound, and for tests.

#include "audiooutput.h"

#include <QDir>

class WavWriter : public AudioOutput {
public:
    // Numbers go on after the highest already in the folder, so that the
    // files of two runs sort in the order they were spoken.
    explicit WavWriter(const QString& folder);
    // Whether files can be made in the folder (made if missing): empty if
    // so, else one line why not.
    static QString checkFolder(const QString& folder);

    void play(const Speech& speech, Report report, More more = More::No) override;
    void append(const std::vector<std::int16_t>& samples, More more) override;
    // A file is written whole or not at all: an announcement cut off before
    // its last part came is not written.
    void stop(const QString& why) override;

private:
    void write(const Speech& speech, const Report& report);

    Speech gathering_; // the parts so far, while more are to come
    Report report_;    // set while gathering
    QDir folder_;
    int number_ = 0;
};
