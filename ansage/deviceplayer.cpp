#include "deviceplayer.h"

#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace {
constexpr int feedIntervalMs = 20;
// A device that never says it has played everything is given up this long
// after its last sample should have been heard.
constexpr qint64 drainGraceMs = 2000;
// A device that takes nothing for this long (a sound server that stalls),
// or whose call does not come back for this long (one that hangs), is given
// up too, rather than left to hold the speech unsaid.
constexpr qint64 stallMs = 2000;
// Cutting off fades out over this long, so that it does not click...
constexpr int fadeMs = 8;
// ...when at most this much is queued beyond the device's reach: more would
// no longer be heard as cutting off at once, and is dropped as it is.
constexpr int reachMs = 20;
} // namespace

// Runs the calls on the device one after another in a thread of its own.
class DevicePlayer::DeviceThread {
public:
    explicit DeviceThread(std::unique_ptr<PcmDevice> device) : device_(std::move(device)) {}
    ~DeviceThread()
    {
        {
            const std::lock_guard lock(mutex_);
            ending_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    DeviceThread(const DeviceThread&) = delete;
    DeviceThread& operator=(const DeviceThread&) = delete;

    void post(std::function<void(PcmDevice&)> call)
    {
        {
            const std::lock_guard lock(mutex_);
            calls_.push_back(std::move(call));
        }
        wake_.notify_one();
    }
    bool busy() const
    {
        const std::lock_guard lock(mutex_);
        return running_ || !calls_.empty();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return ending_ || !calls_.empty(); });
            if (calls_.empty())
                return;
            const std::function<void(PcmDevice&)> call = std::move(calls_.front());
            calls_.pop_front();
            running_ = true;
            lock.unlock();
            call(*device_);
            lock.lock();
            running_ = false;
        }
    }

    const std::unique_ptr<PcmDevice> device_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void(PcmDevice&)>> calls_;
    bool running_ = false, ending_ = false;
    std::thread thread_{[this] { run(); }}; // last: starts once the rest is there
};

// One speech on the device. It belongs to the device's thread, which
// appends what the player hands on with each round: the player learns how
// far it is from the answers.
struct DevicePlayer::Take {
    Speech speech;
    std::size_t written = 0;
};

// What the device said in one round, filled in on its thread and read here
// once the thread has nothing more to do.
struct DevicePlayer::Answer {
    bool failed = false;
    bool opened = false;
    QString error;
    std::size_t written = 0, taken = 0, had = 0;
    long pending = 0;
    bool startedDraining = false;
    PcmDevice::Drain drain = PcmDevice::Drain::Playing;
    int gaps = 0;
};

// One round of topping up, and the end once all of the speech is in and
// the player said it is the last.
void DevicePlayer::topUp(PcmDevice& device, Take& take, bool open, bool last, bool draining, Answer& answer)
{
    const Speech& speech = take.speech;
    std::size_t& written = take.written;
    if (open) {
        answer.error = device.open(speech.sampleRate);
        if (!answer.error.isEmpty()) {
            answer.failed = true;
            return;
        }
    }
    answer.opened = true;
    const std::size_t before = written;
    while (written < speech.samples.size()) {
        const long taken = device.write(speech.samples.data() + written, speech.samples.size() - written);
        if (taken < 0) {
            answer.failed = true;
            answer.error = device.error();
            answer.written = written;
            answer.pending = device.pending();
            return;
        }
        if (taken == 0)
            break; // the buffer is full: more at the next round
        written += std::size_t(taken);
    }
    answer.written = written;
    answer.taken = written - before;
    answer.pending = std::max(0L, device.pending());
    answer.gaps = device.gaps();
    answer.had = speech.samples.size();
    if (written < speech.samples.size() || !last)
        return;
    if (!draining) {
        answer.startedDraining = true;
        device.drain();
    }
    answer.drain = device.drained();
    if (answer.drain == PcmDevice::Drain::Failed)
        answer.error = device.error();
}

// Cuts the speech off without a click where the device lets it. What is
// queued and can be taken back is replaced by a short ramp down of the same
// samples, which is played out before closing; what cannot be taken back is
// waited for only if it is short.
void DevicePlayer::fadeAndClose(PcmDevice& device, const Take& take)
{
    const Speech& speech = take.speech;
    const std::size_t written = take.written;
    const int rate = speech.sampleRate;
    const long pending = std::max(0L, device.pending());
    const long back = std::clamp(device.rewind(std::min<long>(pending, long(written))), 0L, long(written));
    const long unreachable = pending - back;
    if (rate > 0 && unreachable <= long(rate) * reachMs / 1000) {
        const std::size_t from = written - std::size_t(back);
        const std::size_t length = std::min<std::size_t>(std::size_t(rate) * fadeMs / 1000, speech.samples.size() - from);
        std::vector<std::int16_t> ramp(speech.samples.begin() + long(from), speech.samples.begin() + long(from + length));
        for (std::size_t i = 0; i < length; ++i)
            ramp[i] = std::int16_t(ramp[i] * double(length - i) / double(length + 1));
        std::size_t done = 0;
        while (done < ramp.size()) {
            const long taken = device.write(ramp.data() + done, ramp.size() - done);
            if (taken <= 0)
                break;
            done += std::size_t(taken);
        }
        device.drain();
        QElapsedTimer waited;
        waited.start();
        const qint64 longest = (unreachable + long(done)) * 1000 / rate + 50;
        while (device.drained() == PcmDevice::Drain::Playing && waited.elapsed() < longest)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    device.close();
}

DevicePlayer::DevicePlayer(std::unique_ptr<PcmDevice> device)
    : name_(device->name()), device_(std::make_unique<DeviceThread>(std::move(device)))
{
}

DevicePlayer::~DevicePlayer()
{
    if (playing()) {
        const std::shared_ptr<Take> take = take_;
        device_->post([take](PcmDevice& device) { fadeAndClose(device, *take); });
    }
}

bool DevicePlayer::deviceBusy() const
{
    return device_->busy();
}

void DevicePlayer::play(const Speech& speech, Report report, More more)
{
    stop(QStringLiteral("eine neue Ansage kam"));
    if (hung_ && device_->busy()) {
        report({AudioOutput::Outcome::Failed, 0, QStringLiteral("Audiogerät „%1“ hängt noch.").arg(name_)});
        return;
    }
    hung_ = false;
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(feedIntervalMs);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { feed(); });
    }
    take_ = std::make_shared<Take>();
    take_->speech.sampleRate = speech.sampleRate;
    incoming_ = speech.samples;
    total_ = speech.samples.size();
    rate_ = speech.sampleRate;
    more_ = more == More::Yes;
    written_ = 0;
    pending_ = 0;
    gaps_ = 0;
    draining_ = false;
    report_ = std::move(report);
    sinceProgress_.start();
    ask(true);
    timer_->start();
}

void DevicePlayer::append(const std::vector<std::int16_t>& samples, More more)
{
    if (!playing() || !more_)
        return;
    incoming_.insert(incoming_.end(), samples.begin(), samples.end());
    total_ += samples.size();
    more_ = more == More::Yes;
    // Handed on now rather than at the next tick: the caller may be making
    // the next part and keep the event loop, and with it the timer, waiting.
    feed();
}

void DevicePlayer::ask(bool open)
{
    answer_ = std::make_shared<Answer>();
    device_->post([take = take_, answer = answer_, open, more = std::exchange(incoming_, {}), last = !more_,
                   draining = draining_](PcmDevice& device) {
        take->speech.samples.insert(take->speech.samples.end(), more.begin(), more.end());
        topUp(device, *take, open, last, draining, *answer);
    });
    asked_ = true;
    askedAt_.start();
}

void DevicePlayer::feed()
{
    if (!playing())
        return;
    if (asked_) {
        if (device_->busy()) {
            if (askedAt_.elapsed() > stallMs) {
                hung_ = true;
                finish(AudioOutput::Outcome::Failed,
                       QStringLiteral("Audiogerät „%1“ hängt (keine Antwort seit %2 s).").arg(name_).arg(stallMs / 1000));
            }
            return;
        }
        asked_ = false;
        take(*answer_);
        if (!playing())
            return;
    }
    ask(false);
}

void DevicePlayer::take(const Answer& answer)
{
    if (answer.failed) {
        // What it had played before it failed, if it still says so.
        if (answer.opened && answer.pending >= 0) {
            written_ = answer.written;
            pending_ = answer.pending;
        }
        finish(AudioOutput::Outcome::Failed, answer.error);
        return;
    }
    written_ = answer.written;
    pending_ = answer.pending;
    gaps_ = answer.gaps;
    if (answer.taken > 0)
        sinceProgress_.start();
    if (answer.startedDraining) {
        draining_ = true;
        drainDeadlineMs_ = qint64(answer.pending * 1000.0 / rate_) + drainGraceMs;
        drainStarted_.start();
    }
    if (!draining_) {
        // Waiting for the next part is no stall; a device that takes nothing
        // of what it is given is.
        if (answer.written == answer.had)
            sinceProgress_.start();
        if (answer.taken == 0 && sinceProgress_.elapsed() > stallMs) {
            hung_ = true;
            finish(AudioOutput::Outcome::Failed, QStringLiteral("Audiogerät „%1“ spielt nicht weiter.").arg(name_));
        }
        return;
    }
    if (answer.drain == PcmDevice::Drain::Done) {
        finish(AudioOutput::Outcome::Done, gaps_ > 0 ? QStringLiteral("mit Aussetzern") : QString());
    } else if (answer.drain == PcmDevice::Drain::Failed) {
        finish(AudioOutput::Outcome::Failed, answer.error);
    } else if (drainStarted_.elapsed() > drainDeadlineMs_) {
        hung_ = true;
        finish(AudioOutput::Outcome::Failed, QStringLiteral("Audiogerät „%1“ hat das Ende nicht gespielt.").arg(name_));
    }
}

void DevicePlayer::stop(const QString& why)
{
    if (playing())
        finish(AudioOutput::Outcome::CutOff, why);
}

void DevicePlayer::finish(AudioOutput::Outcome::Kind kind, const QString& detail)
{
    // What the device last said it had played: a device that hangs is not
    // asked again.
    const int rate = rate_;
    const std::size_t heard = written_ - std::min<std::size_t>(written_, std::size_t(pending_));
    const double seconds = kind == AudioOutput::Outcome::Done && rate > 0 ? double(total_) / rate
                           : rate > 0                         ? double(heard) / rate
                                                              : 0.0;
    timer_->stop();
    asked_ = false;
    incoming_.clear();
    more_ = false;
    const std::shared_ptr<Take> take = std::exchange(take_, {});
    if (kind == AudioOutput::Outcome::CutOff)
        device_->post([take](PcmDevice& device) { fadeAndClose(device, *take); });
    else
        device_->post([](PcmDevice& device) { device.close(); });
    // Cleared before reporting, so that the report may start the next speech.
    const Report report = std::exchange(report_, {});
    report({kind, seconds, detail});
}
