#pragma once
// Plays speech on a sound device. The device is opened for each speech and
// closed when it has been heard, so that a device that comes or goes between
// announcements is noticed.
//
// Nothing here waits, least of all for the device: every call on it runs on
// a thread of the device's own, and a short timer here asks it to top up its
// buffer and looks at how the last round went. A device that does not
// answer in time is given up and reported, and while a call on it still
// hangs each new speech is refused with a line of its own, so that a sound
// server that hangs never holds back what the companion has to say.

#include "audiooutput.h"
#include "pcmdevice.h"

#include <QElapsedTimer>

#include <memory>

class QTimer;

class DevicePlayer : public AudioOutput {
public:
    explicit DevicePlayer(std::unique_ptr<PcmDevice> device);
    // Waits for the device's thread, which ends once its calls came back.
    ~DevicePlayer() override;
    DevicePlayer(const DevicePlayer&) = delete;
    DevicePlayer& operator=(const DevicePlayer&) = delete;

    void play(const Speech& speech, Report report, More more = More::No) override;
    void append(const std::vector<std::int16_t>& samples, More more) override;
    void stop(const QString& why) override;
    // One round of work: takes in what the device said last and asks it to
    // top the buffer up, or gives it up. The timer calls it; a test with a
    // device of its own calls it itself.
    void feed();
    bool playing() const { return bool(report_); }
    // Whether a call on the device has not come back yet; a test that calls
    // feed() itself waits for this before the next round.
    bool deviceBusy() const;

private:
    class DeviceThread;
    struct Take;
    struct Answer;

    // On the device's thread.
    static void topUp(PcmDevice& device, Take& take, bool open, bool last, bool draining, Answer& answer);
    static void fadeAndClose(PcmDevice& device, const Take& take);

    void ask(bool open);
    void take(const Answer& answer);
    void finish(AudioOutput::Outcome::Kind kind, const QString& detail);

    const QString name_;
    std::unique_ptr<DeviceThread> device_;
    std::unique_ptr<QTimer> timer_; // made in the thread that plays
    std::shared_ptr<Take> take_;    // the speech, and how far the device has it
    // What append() brought that the device's thread has not been handed
    // yet, all the speech has so far, and whether more is to come.
    std::vector<std::int16_t> incoming_;
    std::size_t total_ = 0;
    int rate_ = 0;
    bool more_ = false;
    std::shared_ptr<Answer> answer_; // of the round asked last
    bool asked_ = false;
    std::size_t written_ = 0;
    long pending_ = 0;
    int gaps_ = 0;
    bool draining_ = false;
    // Set when the device was given up for not answering or not playing;
    // while a call on it still hangs, new speech is refused at once.
    bool hung_ = false;
    QElapsedTimer askedAt_;
    QElapsedTimer drainStarted_;
    QElapsedTimer sinceProgress_;
    qint64 drainDeadlineMs_ = 0;
    Report report_;
};
