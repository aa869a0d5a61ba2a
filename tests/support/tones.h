#pragma once
// Recordings for the companion's tests, made here: sine tones of distinct
// pitches written by libsndfile in the formats it writes, and the pitch of
// a stretch of samples found again by counting zero crossings.

#include <QString>

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace testsupport {

// The container and coding for a file extension; 0 for one libsndfile
// cannot write here.
inline int soundFormat(const QString& extension)
{
    int format = 0;
    if (extension == QStringLiteral("wav"))
        format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    else if (extension == QStringLiteral("flac"))
        format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    else if (extension == QStringLiteral("ogg"))
        format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    else if (extension == QStringLiteral("opus"))
        format = SF_FORMAT_OGG | SF_FORMAT_OPUS;
    else if (extension == QStringLiteral("mp3")) // libsndfile 1.1 and later, with LAME
        format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    SF_INFO info{};
    info.format = format;
    info.channels = 2;
    info.samplerate = 48000;
    return format && sf_format_check(&info) ? format : 0;
}

// A tone of that pitch and peak (full scale 1) as a file; stereo with the
// same tone on both channels, so that mixing down keeps it. False when the
// file could not be written.
inline bool writeTone(const QString& path, const QString& extension, double hertz, double seconds, double peak,
                      int rate = 48000)
{
    SF_INFO info{};
    info.format = soundFormat(extension);
    info.channels = 2;
    info.samplerate = rate;
    SNDFILE* file = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = std::size_t(seconds * rate);
    std::vector<float> samples(frames * 2);
    for (std::size_t i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = float(peak * std::sin(2 * std::numbers::pi * hertz * double(i) / rate));
    const bool whole = sf_writef_float(file, samples.data(), sf_count_t(frames)) == sf_count_t(frames);
    return sf_close(file) == 0 && whole;
}

// The pitch of count samples from `from`, by zero crossings: right for a
// pure tone, meaningless (and changing from window to window) for speech.
inline double pitch(const std::vector<std::int16_t>& samples, int rate, std::size_t from, std::size_t count)
{
    int crossings = 0;
    for (std::size_t i = from + 1; i < from + count && i < samples.size(); ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++crossings;
    return crossings / 2.0 * rate / double(count);
}

// Whether the stretch from `from` is a tone of that pitch (within 3 %)
// throughout, 50-ms window by window, for as long as given.
inline bool toneAt(const std::vector<std::int16_t>& samples, int rate, std::size_t from, double hertz, double seconds)
{
    const std::size_t window = std::size_t(rate) / 20;
    const std::size_t end = from + std::size_t(seconds * rate) - window; // ragged edges aside
    if (end > samples.size())
        return false;
    for (std::size_t at = from + window / 2; at + window <= end; at += window)
        if (std::abs(pitch(samples, rate, at, window) - hertz) > hertz * 0.03)
            return false;
    return true;
}

// Where, from `from` on, a tone of that pitch (within 1 %) begins that
// holds for 200 ms, in steps of 5 ms; the end of the samples if none does.
// Speech may cross zero at a tone's rate in one window, never in four.
inline std::size_t toneStart(const std::vector<std::int16_t>& samples, int rate, std::size_t from, double hertz)
{
    const std::size_t window = std::size_t(rate) / 20;
    const auto at = [&](std::size_t start) { return std::abs(pitch(samples, rate, start, window) - hertz) < hertz * 0.01; };
    for (std::size_t start = from; start + 4 * window <= samples.size(); start += window / 10)
        if (at(start) && at(start + window) && at(start + 2 * window) && at(start + 3 * window))
            return start;
    return samples.size();
}

inline bool hasTone(const std::vector<std::int16_t>& samples, int rate, double hertz)
{
    return toneStart(samples, rate, 0, hertz) < samples.size();
}

} // namespace testsupport
