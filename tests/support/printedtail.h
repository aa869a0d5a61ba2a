#pragma once
// What a program under test printed, shown when a check about it fails: the
// test's own message says what was expected, the program's last lines often
// say why it did not come (a warning, a refused file, a crash report).

#include <QByteArray>
#include <QByteArrayList>
#include <QtTest>

#include <cstdio>

namespace testsupport {

// The last `count` lines of `printed`.
inline QByteArray lastLines(const QByteArray& printed, int count = 20)
{
    QByteArrayList lines = printed.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    if (lines.size() > count)
        lines = lines.mid(lines.size() - count);
    return lines.join('\n');
}

// Called where a program's run ends (a test's cleanup, a helper's
// destructor): once the current test function has failed, writes the tail
// of what `who` printed beside the failure.
inline void printTailIfFailed(const char* who, const QByteArray& printed, int count = 20)
{
    if (!QTest::currentTestFailed())
        return;
    if (printed.trimmed().isEmpty()) {
        std::fprintf(stderr, "---- %s printed nothing ----\n", who);
        return;
    }
    std::fprintf(stderr, "---- the last lines %s printed ----\n%s\n---- end of %s's output ----\n", who,
                 lastLines(printed, count).constData(), who);
    std::fflush(stderr);
}

} // namespace testsupport
