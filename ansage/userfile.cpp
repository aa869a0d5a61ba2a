#include "userfile.h"

#include <algorithm>

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {
// Windows-1252 at 0x80 to 0x9F, where it differs from Latin-1; zero where
// the code page has no character.
constexpr char16_t windows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The text of the user's file. The stop files it goes with are Windows-1252,
// and an editor may have saved it so, or as UTF-8: bytes that are valid
// UTF-8 are read as UTF-8, with or without a byte order mark, others as
// Windows-1252. In German text an umlaut or ß of Windows-1252 is followed by
// a plain letter, never a valid UTF-8 sequence, so the two are not mistaken
// for one another. False for bytes that are neither.
bool decode(const QByteArray& bytes, QString* text)
{
    // The decoder drops a byte order mark at the start by itself.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = utf8(bytes);
    if (!utf8.hasError())
        return true;
    text->clear();
    text->reserve(bytes.size());
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (value >= 0x80 && value < 0xA0) {
            if (!windows1252High[value - 0x80])
                return false;
            text->append(QChar(windows1252High[value - 0x80]));
        } else {
            text->append(QChar(value));
        }
    }
    return true;
}

bool typeable(QChar c)
{
    if (c == QLatin1Char('\t'))
        return true;
    const QChar::Category category = c.category();
    return category != QChar::Other_Control && category != QChar::Other_Format && category != QChar::Other_NotAssigned
        && category != QChar::Other_PrivateUse && category != QChar::Other_Surrogate;
}
} // namespace

bool readUserFile(const QString& path, const QString& kind, qint64 largest, QStringList* lines, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Die %1 „%2“ lässt sich nicht lesen (%3).").arg(kind, path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(largest + 1);
    if (bytes.size() > largest) {
        *error = QStringLiteral("Die %1 „%2“ ist größer als %3 KiB.").arg(kind, path).arg(largest / 1024);
        return false;
    }
    QString text;
    if (!decode(bytes, &text)) {
        *error = QStringLiteral("Die %1 „%2“ ist weder UTF-8 noch Windows-1252.").arg(kind, path);
        return false;
    }
    // Line ends of every system: CR LF, LF, and CR alone as old editors
    // save them; a CR is never part of a line.
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    *lines = text.split(lineEnd);
    return true;
}

bool typeableLine(const QString& line)
{
    return std::all_of(line.begin(), line.end(), typeable);
}
