#pragma once
// An ALSA playback device ("default" goes to PipeWire or PulseAudio where
// one runs), driven without blocking.

#include "pcmdevice.h"

#include <QStringList>

struct _snd_pcm;

class AlsaDevice : public PcmDevice {
public:
    explicit AlsaDevice(const QString& name) : name_(name) {}
    ~AlsaDevice() override { close(); }
    AlsaDevice(const AlsaDevice&) = delete;
    AlsaDevice& operator=(const AlsaDevice&) = delete;

    QString name() const override { return name_; }
    QString open(int sampleRate) override;
    long write(const std::int16_t* frames, std::size_t count) override;
    long pending() override;
    void drain() override;
    Drain drained() override;
    void close() override;
    QString error() const override { return error_; }

    // The playback devices ALSA knows, one line each: name, then what it is.
    static QStringList list();

private:
    bool failed(int code, const char* what);

    QString name_;
    QString error_;
    _snd_pcm* pcm_ = nullptr;
    int recoveries_ = 0;
};
