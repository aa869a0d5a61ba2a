#pragma once
// Plays speech on an ALSA device ("default" goes to PipeWire or PulseAudio
// where one runs). The device is opened for each announcement and closed
// when it has been played, so that a device that comes or goes between
// announcements is noticed.
//
// The device is driven without blocking: a short timer tops up its buffer
// from the event loop, so a new announcement can cut the old one off at once.

#include "audiooutput.h"

#include <QElapsedTimer>
#include <QTimer>

#include <cstddef>

struct _snd_pcm;

class AlsaPlayer : public AudioOutput {
public:
    explicit AlsaPlayer(const QString& device = QStringLiteral("default"));
    ~AlsaPlayer() override;
    AlsaPlayer(const AlsaPlayer&) = delete;
    AlsaPlayer& operator=(const AlsaPlayer&) = delete;

    Result play(const Speech& speech) override;
    // Cuts off what is playing.
    void stop();
    bool playing() const { return pcm_ != nullptr; }

private:
    void feed();

    QString device_;
    _snd_pcm* pcm_ = nullptr;
    Speech speech_;
    std::size_t written_ = 0;
    bool draining_ = false;
    QElapsedTimer started_;
    QTimer timer_;
};
