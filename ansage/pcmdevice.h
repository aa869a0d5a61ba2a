#pragma once
// A sound device as the player needs it: takes 16-bit mono samples and says
// how many it still holds. The ALSA device is one; a test drives one with a
// clock of its own.
//
// The player calls it only from a thread of the device's own: any call may
// hang when a sound server does (even one that should never wait), and only
// that thread waits for it then.

#include <QString>

#include <cstddef>
#include <cstdint>

class PcmDevice {
public:
    virtual ~PcmDevice() = default;
    virtual QString name() const = 0;
    // Opens for 16-bit mono at the rate. Empty on success, else one line why.
    virtual QString open(int sampleRate) = 0;
    // Takes as many frames as fit now: their number, 0 when the buffer is
    // full, -1 when the device failed beyond recovery (error() says how).
    virtual long write(const std::int16_t* frames, std::size_t count) = 0;
    // Frames taken and not yet heard; -1 when the device failed.
    virtual long pending() = 0;
    // Takes back up to that many of the frames written last and not yet
    // heard, so that what follows is written in their place; says how many
    // it took back. A device whose buffer cannot be reached returns 0.
    virtual long rewind(long frames) = 0;
    // Plays out what it holds (and starts, if the whole speech fitted).
    virtual void drain() = 0;
    enum class Drain { Playing, Done, Failed };
    // Done once everything taken has been heard; Failed (error() says how)
    // when the device went away before.
    virtual Drain drained() = 0;
    // How often since open() the device ran dry and started again: each is
    // a gap the listener heard.
    virtual int gaps() const = 0;
    // Drops whatever is unheard and closes.
    virtual void close() = 0;
    virtual QString error() const = 0;
};
