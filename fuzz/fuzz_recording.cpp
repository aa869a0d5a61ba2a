// Fuzzes the companion's reading of the user's recordings with arbitrary
// bytes, as if they were a file in the --tonordner folder: libsndfile reads
// them from memory (sf_open_virtual), then they are mixed down and
// resampled to the synthesiser's rate, at the two rates espeak-ng uses.
//
// For every input:
//  - either samples come back, or none and one line why (not empty, no
//    line break);
//  - what comes back is no longer than the bound (30 s at the rate, and the
//    resampler's few samples of slack) and holds only finite numbers;
//  - its level (speechLevel) is a finite number from 0 up.

#include <recordings.h>

#include <QByteArray>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_recording: %s\n", what);
        std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const int rate : {22050, 16000}) {
        QString why;
        const std::vector<float> samples = decodeRecording(bytes, rate, &why);
        if (samples.empty()) {
            check(!why.isEmpty(), "refused without a reason");
            check(!why.contains(QLatin1Char('\n')), "a reason of more than one line");
            continue;
        }
        check(samples.size() <= std::size_t(Recordings::longestSeconds * rate) + 64, "longer than the bound");
        for (const float sample : samples)
            check(std::isfinite(sample), "a sample that is no number");
        const double level = speechLevel(samples, rate);
        check(std::isfinite(level) && level >= 0, "a level that is no number");
    }
    return 0;
}
