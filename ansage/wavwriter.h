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

    void play(const Speech& speech, Report report) override;
    void stop(const QString&) override {} // a file is written whole or not at all

private:
    QDir folder_;
    int number_ = 0;
};
