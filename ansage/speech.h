#pragma once
// A synthesised announcement: 16-bit signed mono samples at one rate. The
// synthesis hands it to an audio output; neither knows about the other.

#include <cstdint>
#include <vector>

struct Speech {
    int sampleRate = 0;
    std::vector<std::int16_t> samples;

    double seconds() const { return sampleRate > 0 ? double(samples.size()) / sampleRate : 0.0; }
};
