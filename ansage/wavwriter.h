#pragma once
// Writes each announcement as a numbered WAV file (16-bit PCM mono) into a
// folder instead of playing it: for machines without sound, and for tests.

#include "audiooutput.h"

#include <QDir>

class WavWriter : public AudioOutput {
public:
    explicit WavWriter(const QString& folder) : folder_(QDir(folder).absolutePath()) {}
    Result play(const Speech& speech) override;

private:
    QDir folder_;
    int number_ = 0;
};
