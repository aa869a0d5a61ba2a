#include "desktopclaim.h"

#include <QCryptographicHash>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

QByteArray DesktopClaim::desktop(const QByteArray& display)
{
    const qsizetype colon = display.lastIndexOf(':');
    if (colon < 0)
        return display;
    QByteArray host = display.left(colon);
    if (host == "unix" || host == "localhost/unix")
        host.clear();
    QByteArray number = display.mid(colon + 1);
    if (const qsizetype dot = number.indexOf('.'); dot >= 0)
        number.truncate(dot);
    return host + ':' + number;
}

DesktopClaim::DesktopClaim(const QByteArray& display)
{
    // The desktop's name is hashed: DISPLAY is outside text of any length,
    // and a socket's name has room for about a hundred bytes.
    const QByteArray name = "pendralumovista-ansage/" + QByteArray::number(::getuid()) + '/'
                            + QCryptographicHash::hash(desktop(display), QCryptographicHash::Sha256).toHex().left(32);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    // A leading zero byte puts the name in the abstract namespace.
    std::memcpy(address.sun_path + 1, name.constData(), std::size_t(name.size()));
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + std::size_t(name.size()));
    socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0)
        return;
    if (::bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
        outcome_ = Outcome::Claimed;
        return;
    }
    outcome_ = errno == EADDRINUSE ? Outcome::HeldByAnother : Outcome::Unavailable;
    ::close(socket_);
    socket_ = -1;
}

DesktopClaim::~DesktopClaim()
{
    if (socket_ >= 0)
        ::close(socket_);
}
