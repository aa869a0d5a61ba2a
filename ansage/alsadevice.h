#pragma once
// An ALSA playback device ("default" goes to PipeWire or PulseAudio where
// one runs), opened without blocking; a sound server that hangs may hold any
// call all the same.

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
    long rewind(long frames) override;
    void drain() override;
    Drain drained() override;
    int gaps() const override { return recoveries_; }
    void close() override;
    QString error() const override { return error_; }

    // The devices a user can play to, one line each: name, then what it is.
    static QStringList list();
    // Whether ALSA knows a device of that name: one defined in its
    // configuration, whether or not it is there just now.
    static bool known(const QString& name);

private:
    bool failed(int code, const char* what);

    QString name_;
    QString error_;
    _snd_pcm* pcm_ = nullptr;
    bool rewindable_ = false;
    int recoveries_ = 0;
};
