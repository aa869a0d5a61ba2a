#include "alsadevice.h"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <cstring>

namespace {
// Enough buffer that a late tick does not starve the device, little enough
// that cutting off is heard at once.
constexpr unsigned bufferMicroseconds = 200000;
// Underruns (the thread was late) are recovered from this often per speech;
// more means the device cannot keep up.
constexpr int mostRecoveries = 3;

void quiet(const char*, int, const char*, int, const char*, ...) {}

QString alsaText(int code)
{
    return QString::fromLocal8Bit(snd_strerror(code));
}

// The definition of a device name ("hw:0,0" is "hw" with arguments) in
// ALSA's configuration, as written, without evaluating it: evaluating needs
// what it names to be there.
snd_config_t* definition(const QString& name)
{
    if (snd_config_update() < 0)
        return nullptr;
    const QByteArray key = "pcm." + name.section(QLatin1Char(':'), 0, 0).toUtf8();
    snd_config_t* node = nullptr;
    return snd_config_search(snd_config, key.constData(), &node) == 0 ? node : nullptr;
}

// A plugin put in front of another device (a rate converter, a mixer of
// channels, an encoder) takes that device as its argument SLAVE; a device a
// user plays to does not.
bool playsToAnother(snd_config_t* node)
{
    snd_config_t* arguments = nullptr;
    if (!node || snd_config_search(node, "@args", &arguments) != 0)
        return false;
    snd_config_iterator_t at, next;
    snd_config_for_each(at, next, arguments)
    {
        const char* argument = nullptr;
        if (snd_config_get_string(snd_config_iterator_entry(at), &argument) == 0 && std::strcmp(argument, "SLAVE") == 0)
            return true;
    }
    return false;
}
} // namespace

QString AlsaDevice::open(int sampleRate)
{
    close();
    // ALSA reports its failures on stderr itself, several lines each; the
    // companion says in one line of its own what went wrong.
    snd_lib_error_set_handler(quiet);
    recoveries_ = 0;
    error_.clear();
    int code = snd_pcm_open(&pcm_, name_.toUtf8().constData(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (code < 0) {
        pcm_ = nullptr;
        return QStringLiteral("Kein Audiogerät: „%1“ lässt sich nicht öffnen (%2).").arg(name_, alsaText(code));
    }
    // Taking back what was written reaches the sound only where the buffer
    // is the card's own (or one a plugin keeps in front of it). A sound
    // server's plugin has sent it on already: there it would only add.
    switch (snd_pcm_type(pcm_)) {
    case SND_PCM_TYPE_HW:
    case SND_PCM_TYPE_PLUG:
    case SND_PCM_TYPE_LINEAR:
    case SND_PCM_TYPE_ROUTE:
    case SND_PCM_TYPE_RATE:
    case SND_PCM_TYPE_DMIX:
        rewindable_ = true;
        break;
    default:
        rewindable_ = false;
    }
    const int allowResampling = 1;
    code = snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, unsigned(sampleRate),
                              allowResampling, bufferMicroseconds);
    if (code < 0) {
        close();
        return QStringLiteral("Audiogerät „%1“ spielt 16 bit mono mit %2 Hz nicht ab (%3).")
            .arg(name_)
            .arg(sampleRate)
            .arg(alsaText(code));
    }
    // Starting once half the buffer is in, not all of it (as
    // snd_pcm_set_params has it): PulseAudio's plugin takes the start
    // threshold as the stream's pre-buffer, which it waits for again after
    // every underrun in the server; one as large as the buffer can never be
    // reached while the sink holds part of it, and the stream stands still
    // for good. Prepared again, since that plugin reads it only then.
    snd_pcm_uframes_t bufferSize = 0, periodSize = 0;
    snd_pcm_sw_params_t* software = nullptr;
    if (snd_pcm_get_params(pcm_, &bufferSize, &periodSize) == 0 && snd_pcm_sw_params_malloc(&software) == 0) {
        if (snd_pcm_sw_params_current(pcm_, software) == 0
            && snd_pcm_sw_params_set_start_threshold(pcm_, software, std::max(bufferSize / 2, periodSize)) == 0
            && snd_pcm_sw_params(pcm_, software) == 0)
            snd_pcm_prepare(pcm_);
        snd_pcm_sw_params_free(software);
    }
    return {};
}

bool AlsaDevice::failed(int code, const char* what)
{
    // An underrun or a suspend starts again where it was; anything else, or
    // too many of them, ends the speech.
    if (recoveries_ < mostRecoveries && snd_pcm_recover(pcm_, code, 1) == 0) {
        ++recoveries_;
        return false;
    }
    error_ = QStringLiteral("Audiogerät „%1“ %2 (%3).").arg(name_, QString::fromUtf8(what), alsaText(code));
    return true;
}

long AlsaDevice::write(const std::int16_t* frames, std::size_t count)
{
    for (;;) {
        const snd_pcm_sframes_t done = snd_pcm_writei(pcm_, frames, count);
        if (done >= 0)
            return long(done);
        if (done == -EAGAIN)
            return 0;
        if (failed(int(done), "fiel beim Spielen aus"))
            return -1;
    }
}

long AlsaDevice::pending()
{
    snd_pcm_sframes_t delay = 0;
    const int code = snd_pcm_delay(pcm_, &delay);
    if (code == 0)
        return long(std::max<snd_pcm_sframes_t>(delay, 0));
    // Ran dry before the next write noticed: nothing is left to hear, and
    // the next write starts it again.
    if (code == -EPIPE || code == -ESTRPIPE)
        return failed(code, "fiel beim Spielen aus") ? -1 : 0;
    return -1;
}

long AlsaDevice::rewind(long frames)
{
    if (!rewindable_ || frames <= 0)
        return 0;
    const snd_pcm_sframes_t reachable = snd_pcm_rewindable(pcm_);
    if (reachable <= 0)
        return 0;
    const snd_pcm_sframes_t back = snd_pcm_rewind(pcm_, snd_pcm_uframes_t(std::min<snd_pcm_sframes_t>(frames, reachable)));
    return back > 0 ? long(back) : 0;
}

void AlsaDevice::drain()
{
    // Non-blocking: returns at once, and the state says when it is done.
    snd_pcm_drain(pcm_);
}

PcmDevice::Drain AlsaDevice::drained()
{
    // Brings the plugins' idea of the play position up to date, so that the
    // state moves on from draining.
    snd_pcm_avail_update(pcm_);
    switch (snd_pcm_state(pcm_)) {
    case SND_PCM_STATE_DRAINING:
        return Drain::Playing;
    case SND_PCM_STATE_SETUP:
        return Drain::Done;
    default:
        error_ = QStringLiteral("Audiogerät „%1“ fiel vor dem Ende aus.").arg(name_);
        return Drain::Failed;
    }
}

void AlsaDevice::close()
{
    if (pcm_) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
        pcm_ = nullptr;
    }
}

bool AlsaDevice::known(const QString& name)
{
    snd_lib_error_set_handler(quiet);
    return definition(name) != nullptr;
}

QStringList AlsaDevice::list()
{
    QStringList lines;
    snd_lib_error_set_handler(quiet);
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return lines;
    for (void** hint = hints; *hint; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* description = snd_device_name_get_hint(*hint, "DESC");
        char* direction = snd_device_name_get_hint(*hint, "IOID");
        // No direction means both ways.
        if (name && (!direction || std::strcmp(direction, "Output") == 0)
            && !playsToAnother(definition(QString::fromUtf8(name)))) {
            QString line = QString::fromUtf8(name);
            if (description)
                line += QStringLiteral("  ") + QString::fromUtf8(description).section(QLatin1Char('\n'), 0, 0);
            lines << line;
        }
        std::free(name);
        std::free(description);
        std::free(direction);
    }
    snd_device_name_free_hint(hints);
    return lines;
}
