#pragma once
// What counts as an announcement on the clipboard: the simulator's sentence
// always begins with these words; anything else on the clipboard belongs to
// the user and is left unspoken.

#include <QString>

// Outside text, printed one line per announcement and spoken: every control
// character (a line break, a terminal's escape) becomes a blank.
inline QString withoutControls(QString text)
{
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    return text;
}

inline bool isAnnouncement(const QString& text)
{
    return text.startsWith(QStringLiteral("nächste Haltestelle: "));
}

// The simulator's private clipboard format beside the text: the number of
// the call, in decimal digits.
inline constexpr char callFormat[] = "application/x-pendralumovista-ansage";

// Longer texts are not announcements anyone would sit through (a stop name
// is at most a few dozen characters); they are not spoken.
inline constexpr int longestAnnouncement = 500;
