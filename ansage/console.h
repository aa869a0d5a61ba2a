#pragma once
// The companion's lines on stdout and stderr go out at once, also into a
// pipe, so that whoever reads them sees each announcement when it happens.

#include <QString>

#include <cstdio>

inline void say(std::FILE* stream, const QString& line)
{
    // One write: the worker thread's lines and the event loop's never mix.
    std::fputs((line + u'\n').toUtf8().constData(), stream);
    std::fflush(stream);
}
