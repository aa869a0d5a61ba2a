#include "deviceplayer.h"

#include <QTimer>

namespace {
constexpr int feedIntervalMs = 20;
// A device that never says it has played everything is given up this long
// after its last sample should have been heard.
constexpr qint64 drainGraceMs = 2000;
// A device that takes nothing for this long (a sound server that hangs) is
// given up too, rather than left to hold the speech unsaid.
constexpr qint64 stallMs = 2000;
} // namespace

DevicePlayer::DevicePlayer(std::unique_ptr<PcmDevice> device) : device_(std::move(device)) {}

DevicePlayer::~DevicePlayer()
{
    if (playing())
        device_->close();
}

void DevicePlayer::play(const Speech& speech, Report report)
{
    stop(QStringLiteral("eine neue Ansage kam"));
    if (const QString error = device_->open(speech.sampleRate); !error.isEmpty()) {
        report({AudioOutput::Outcome::Failed, 0, error});
        return;
    }
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        timer_->setInterval(feedIntervalMs);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { feed(); });
    }
    speech_ = speech;
    written_ = 0;
    draining_ = false;
    report_ = std::move(report);
    sinceProgress_.start();
    feed();
    if (playing())
        timer_->start();
}

double DevicePlayer::heardSeconds()
{
    const long pending = device_->pending();
    const std::size_t heard = written_ - std::min<std::size_t>(written_, pending > 0 ? std::size_t(pending) : 0);
    return speech_.sampleRate > 0 ? double(heard) / speech_.sampleRate : 0.0;
}

void DevicePlayer::feed()
{
    if (!playing())
        return;
    while (written_ < speech_.samples.size()) {
        const long taken = device_->write(speech_.samples.data() + written_, speech_.samples.size() - written_);
        if (taken < 0) {
            finish(AudioOutput::Outcome::Failed, device_->error());
            return;
        }
        if (taken == 0) {
            // The buffer is full: more at the next tick.
            if (sinceProgress_.elapsed() > stallMs)
                finish(AudioOutput::Outcome::Failed,
                       QStringLiteral("Audiogerät „%1“ spielt nicht weiter.").arg(device_->name()));
            return;
        }
        written_ += std::size_t(taken);
        sinceProgress_.start();
    }
    if (!draining_) {
        draining_ = true;
        const long pending = device_->pending();
        drainDeadlineMs_ = qint64(std::max(0L, pending) * 1000.0 / speech_.sampleRate) + drainGraceMs;
        drainStarted_.start();
        device_->drain();
    }
    const PcmDevice::Drain drain = device_->drained();
    if (drain == PcmDevice::Drain::Done)
        finish(AudioOutput::Outcome::Done, {});
    else if (drain == PcmDevice::Drain::Failed)
        finish(AudioOutput::Outcome::Failed, device_->error());
    else if (drainStarted_.elapsed() > drainDeadlineMs_)
        finish(AudioOutput::Outcome::Failed,
               QStringLiteral("Audiogerät „%1“ hat das Ende nicht gespielt.").arg(device_->name()));
}

void DevicePlayer::stop(const QString& why)
{
    if (playing())
        finish(AudioOutput::Outcome::CutOff, why);
}

void DevicePlayer::finish(AudioOutput::Outcome::Kind kind, const QString& detail)
{
    const double heard = kind == AudioOutput::Outcome::Done ? speech_.seconds() : heardSeconds();
    if (timer_)
        timer_->stop();
    device_->close();
    speech_ = {};
    // Cleared before reporting, so that the report may start the next speech.
    const Report report = std::exchange(report_, {});
    report({kind, heard, detail});
}
