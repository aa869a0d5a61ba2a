#pragma once
// Writes each announcement as a numbered WAV file (16-bit PCM mono) into a
// folder instead of playing it: for machines without sound, and for tests.

#include "audiooutput.h"

#include <QDir>

class WavWriter : public AudioOutput {
public:
    explicit WavWriter(const QString& folder) : folder_(QDir(folder).absolutePath()) {}
    // Whether files can be made in the folder (made if missing): empty if
    // so, else one line why not.
    static QString checkFolder(const QString& folder);

    void play(const Speech& speech, Report report) override;
    void stop(const QString&) override {} // a file is written whole or not at all

private:
    QDir folder_;
    int number_ = 0;
};
