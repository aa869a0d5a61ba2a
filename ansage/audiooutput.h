#pragma once
// Where synthesised speech goes: played on a sound device, or written to a
// file. The companion talks to this interface only.

#include "speech.h"

#include <QString>

class AudioOutput {
public:
    struct Result {
        bool ok = false;
        // On success, where the speech went; on failure, one line saying why.
        QString detail;
    };

    virtual ~AudioOutput() = default;
    // Puts out the speech, cutting off whatever this output is still
    // playing. Returns at once; playing goes on in the event loop.
    virtual Result play(const Speech& speech) = 0;
};
