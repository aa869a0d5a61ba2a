#include "alsaplayer.h"

#include <alsa/asoundlib.h>

namespace {
// Enough buffer that a late tick of the event loop does not starve the
// device, little enough that cutting off is heard at once.
constexpr unsigned bufferMicroseconds = 200000;
constexpr int feedIntervalMs = 20;
// A device that never reports the end of draining is given up this long
// after the speech should have ended.
constexpr qint64 drainGraceMs = 2000;

void quiet(const char*, int, const char*, int, const char*, ...) {}
} // namespace

AlsaPlayer::AlsaPlayer(const QString& device) : device_(device)
{
    // ALSA reports its failures on stderr itself, several lines each; the
    // companion says in one line of its own what went wrong.
    snd_lib_error_set_handler(quiet);
    timer_.setInterval(feedIntervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { feed(); });
}

AlsaPlayer::~AlsaPlayer()
{
    stop();
}

AudioOutput::Result AlsaPlayer::play(const Speech& speech)
{
    stop();
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, device_.toUtf8().constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0)
        return {false, QStringLiteral("Kein Audiogerät: „%1“ lässt sich nicht öffnen (%2).")
                           .arg(device_, QString::fromLocal8Bit(snd_strerror(error)))};
    const int allowResampling = 1;
    error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, unsigned(speech.sampleRate),
                               allowResampling, bufferMicroseconds);
    if (error < 0) {
        snd_pcm_close(pcm);
        return {false, QStringLiteral("Audiogerät „%1“ spielt 16 bit mono mit %2 Hz nicht ab (%3).")
                           .arg(device_)
                           .arg(speech.sampleRate)
                           .arg(QString::fromLocal8Bit(snd_strerror(error)))};
    }
    pcm_ = pcm;
    speech_ = speech;
    written_ = 0;
    draining_ = false;
    started_.start();
    feed();
    if (pcm_)
        timer_.start();
    return {true, QStringLiteral("ALSA „%1“").arg(device_)};
}

void AlsaPlayer::feed()
{
    if (!pcm_)
        return;
    if (!draining_) {
        for (int recoveries = 0; written_ < speech_.samples.size();) {
            const snd_pcm_sframes_t done =
                snd_pcm_writei(pcm_, speech_.samples.data() + written_, speech_.samples.size() - written_);
            if (done == -EAGAIN)
                return; // the buffer is full: more at the next tick
            if (done < 0) {
                // An underrun (the event loop was late) or a suspend: start
                // again where we are; give up on anything worse.
                if (++recoveries > 3 || snd_pcm_recover(pcm_, int(done), 1) < 0) {
                    stop();
                    return;
                }
                continue;
            }
            written_ += std::size_t(done);
        }
        draining_ = true;
        // Plays out what is buffered; also starts the device when the whole
        // speech fitted into its buffer. Non-blocking, so it returns at once
        // and the state says when it is done.
        snd_pcm_drain(pcm_);
    }
    // Brings the plugins' idea of the play position up to date, so that the
    // state moves on from draining; the deadline covers plugins that are
    // never told.
    snd_pcm_avail_update(pcm_);
    if (snd_pcm_state(pcm_) != SND_PCM_STATE_DRAINING
        || started_.elapsed() > qint64(speech_.seconds() * 1000) + drainGraceMs)
        stop();
}

void AlsaPlayer::stop()
{
    timer_.stop();
    if (pcm_) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
    speech_ = {};
}
