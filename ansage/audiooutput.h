#pragma once
// Where synthesised speech goes: played on a sound device, or written to a
// file. The companion talks to this interface only.

#include "speech.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class AudioOutput {
public:
    // How one speech ended. Reported once for every speech handed to play(),
    // and only when it is known: after the last sample was heard or the file
    // was written whole, or when it failed or was cut off.
    struct Outcome {
        enum Kind { Done, CutOff, Failed } kind = Failed;
        double playedSeconds = 0;
        // Done: what is worth saying about it: where the speech went (a
        // file), or that it had gaps (a device that ran dry and went on);
        // CutOff and Failed: one line saying why.
        QString detail;
    };
    using Report = std::function<void(const Outcome&)>;

    // Whether more of the speech is still to come through append(). An
    // announcement is handed over part by part as each is made, so that its
    // first sound is out at once; the output does not end it (play it out,
    // write the file) before the last part is in.
    enum class More { No, Yes };

    virtual ~AudioOutput() = default;
    // Puts out the speech, first cutting off whatever this output still
    // plays. May report before it returns; playing goes on in the event loop
    // of the calling thread.
    virtual void play(const Speech& speech, Report report, More more = More::No) = 0;
    // More samples of the speech handed to play() last, at its rate; nothing
    // when that has ended (cut off, failed) or said it was whole.
    virtual void append(const std::vector<std::int16_t>& samples, More more) = 0;
    // Cuts off what is playing, reporting it with the reason given.
    virtual void stop(const QString& why) = 0;
};
