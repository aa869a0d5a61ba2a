#pragma once
// The small text files a user writes by hand for the companion (more
// pronunciations, extra texts per stop): read whole, bounded, in the
// encodings an editor beside the stop files saves, and checked for
// characters no one types.

#include <QString>
#include <QStringList>

// The lines of the file, without their line ends (CR LF, LF or CR).
// `kind` names the file in the one-line reason, e.g. "Aussprachedatei".
// False and that reason when it cannot be read, is larger than `largest`
// bytes, or is neither UTF-8 nor Windows-1252.
bool readUserFile(const QString& path, const QString& kind, qint64 largest, QStringList* lines, QString* error);

// False for a line with a character that no one types into such a file:
// a control character other than tab, or an invisible
// mark a program puts in. Such a line is something else, or damaged.
bool typeableLine(const QString& line);
