#pragma once
// One companion per desktop: two would speak every call twice, at once.
// The first to start holds a name in the abstract socket namespace made of
// the user and the X display; the kernel lets it go when the process ends,
// however it ends, so no file is written and none is left behind. This
// works with or without a session bus.

#include <QByteArray>

class DesktopClaim {
public:
    enum class Outcome { Claimed, HeldByAnother, Unavailable };

    // Claims the desktop of the X display `display` (as DISPLAY names it).
    explicit DesktopClaim(const QByteArray& display);
    ~DesktopClaim();
    DesktopClaim(const DesktopClaim&) = delete;
    DesktopClaim& operator=(const DesktopClaim&) = delete;

    Outcome outcome() const { return outcome_; }

    // The desktop a DISPLAY value names: host and display number, without
    // the screen (":0", ":0.0" and "unix:0" are one desktop).
    static QByteArray desktop(const QByteArray& display);

private:
    int socket_ = -1;
    Outcome outcome_ = Outcome::Unavailable;
};
