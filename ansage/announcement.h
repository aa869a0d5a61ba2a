#pragma once
// What counts as an announcement on the clipboard: the simulator's sentence
// always begins with these words; anything else on the clipboard belongs to
// the user and is left unspoken.

#include <QString>

inline bool isAnnouncement(const QString& text)
{
    return text.startsWith(QStringLiteral("nächste Haltestelle: "));
}
