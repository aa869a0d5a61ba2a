#pragma once
// An X display name where no server runs: the first number from 569 on
// that has neither a lock file nor a socket, so that a server another test
// starts meanwhile is unlikely to take it.

#include <QFileInfo>
#include <QString>

namespace testsupport {

inline QString unusedDisplay()
{
    for (int number = 569;; ++number)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(number))
            && !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)))
            return QStringLiteral(":%1").arg(number);
}

} // namespace testsupport
