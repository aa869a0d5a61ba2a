#pragma once
// Plays speech on a sound device. The device is opened for each speech and
// closed when it has been heard, so that a device that comes or goes between
// announcements is noticed.
//
// Nothing here waits: a short timer tops up the device's buffer, so that a
// new speech cuts the old one off at once and the thread stays free.

#include "audiooutput.h"
#include "pcmdevice.h"

#include <QElapsedTimer>

#include <memory>

class QTimer;

class DevicePlayer : public AudioOutput {
public:
    explicit DevicePlayer(std::unique_ptr<PcmDevice> device);
    ~DevicePlayer() override;
    DevicePlayer(const DevicePlayer&) = delete;
    DevicePlayer& operator=(const DevicePlayer&) = delete;

    void play(const Speech& speech, Report report) override;
    void stop(const QString& why) override;
    // One round of work: tops the buffer up and notices the end. The timer
    // calls it; a test with a device of its own calls it itself.
    void feed();
    bool playing() const { return bool(report_); }

private:
    double heardSeconds();
    void finish(AudioOutput::Outcome::Kind kind, const QString& detail);

    std::unique_ptr<PcmDevice> device_;
    std::unique_ptr<QTimer> timer_; // made in the thread that plays
    Speech speech_;
    std::size_t written_ = 0;
    bool draining_ = false;
    QElapsedTimer drainStarted_;
    QElapsedTimer sinceProgress_;
    qint64 drainDeadlineMs_ = 0;
    Report report_;
};
