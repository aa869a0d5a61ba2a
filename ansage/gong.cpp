#include "gong.h"

#include <cmath>
#include <numbers>

Speech gong(int sampleRate)
{
    // Two struck tones a major third apart, falling (E5, then C5), each with
    // a quiet octave above and a soft attack so that nothing clicks; they
    // fade out exponentially and overlap like a bar that keeps ringing.
    struct Tone {
        double hertz, start;
    };
    constexpr Tone tones[] = {{659.25, 0.0}, {523.25, 0.45}};
    constexpr double ring = 0.75;     // seconds each tone sounds
    constexpr double attack = 0.008;  // seconds to full strength
    constexpr double decay = 4.0;     // per second
    constexpr double pause = 0.25;    // between chime and speech
    constexpr double peak = 0.3 * 32767;

    Speech chime;
    chime.sampleRate = sampleRate;
    const double length = tones[1].start + ring + pause;
    chime.samples.resize(std::size_t(length * sampleRate));
    for (std::size_t i = 0; i < chime.samples.size(); ++i) {
        const double t = double(i) / sampleRate;
        double value = 0;
        for (const Tone& tone : tones) {
            const double s = t - tone.start;
            if (s < 0 || s > ring)
                continue;
            const double envelope = std::min(1.0, s / attack) * std::exp(-decay * s) * (1.0 - s / ring);
            const double phase = 2 * std::numbers::pi * tone.hertz * s;
            value += envelope * (0.8 * std::sin(phase) + 0.2 * std::sin(2 * phase));
        }
        chime.samples[i] = std::int16_t(std::lround(value * peak));
    }
    return chime;
}
