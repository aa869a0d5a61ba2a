#include "pronunciation.h"

#include "announcement.h"

#include <algorithm>

#include <QFile>

namespace {
// A user's list is a few hundred names at most.
constexpr qint64 largestFile = 64 * 1024;

constexpr auto unicode = QRegularExpression::UseUnicodePropertiesOption;

QRegularExpression pattern(const QString& regex, QRegularExpression::PatternOptions extra = {})
{
    return QRegularExpression(regex, unicode | extra);
}

// A written form as a whole word: not inside a longer one.
QRegularExpression wholeWord(const QString& written)
{
    return pattern(QStringLiteral("(?<![\\w])%1(?![\\w])").arg(QRegularExpression::escape(written)));
}

// The adjective before a noun, in the form the noun wants; announcers say
// "Evangelisches Krankenhaus" but "Evangelische Kirche".
QString inflected(const QString& adjective, const QString& rest)
{
    static const QRegularExpression neuter = pattern(
        QStringLiteral("^\\s*[\\w-]*(haus|heim|stift|zentrum|gymnasium|klinikum)\\b"), QRegularExpression::CaseInsensitiveOption);
    return adjective + (neuter.match(rest).hasMatch() ? QStringLiteral("es") : QStringLiteral("e"));
}
} // namespace

Pronunciation::Pronunciation()
{
    // Abbreviations, the longer ones first ("Hbf" before "Bf").
    const std::pair<const char*, const char*> abbreviations[] = {
        {"(?<![\\w])S\\s*\\+\\s*U(?![\\w])", "S- und U-Bahnhof"},
        {"(?<![\\w])([SU])-?(?:Bhf|Bf)(?![\\w])\\.?", "\\1-Bahnhof"},
        {"(?<![\\w])Hbf(?![\\w])\\.?", "Hauptbahnhof"},
        {"(?<![\\w])(?:Bhf|Bf)(?![\\w])\\.?", "Bahnhof"},
        {"(?<![\\w])Dr\\.", "Doktor"},
        {"(?<![\\w])St\\.", "Sankt"},
        {"(?<![\\w])Kr\\.", "Kreis"},
        // "Bergstr." and "Str." alike; the seam as for the written-out word.
        {"(?<![\\w])(\\w+)str\\.", "\\1-Straße"},
        {"(?<![\\w])Str\\.", "Straße"},
        {"(?<![\\w])(\\w+)pl\\.", "\\1-Platz"},
        {"(?<![\\w])Pl\\.", "Platz"},
    };
    for (const auto& [regex, replacement] : abbreviations)
        builtIn_.append({pattern(QString::fromUtf8(regex)), QString::fromUtf8(replacement)});
}

bool Pronunciation::addFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Die Aussprachedatei „%1“ lässt sich nicht lesen (%2).").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(largestFile + 1);
    if (bytes.size() > largestFile) {
        *error = QStringLiteral("Die Aussprachedatei „%1“ ist größer als %2 KiB.").arg(path).arg(largestFile / 1024);
        return false;
    }
    int number = 0;
    for (const QString& line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        ++number;
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
        const QString written = trimmed.left(equals).trimmed();
        const QString said = trimmed.mid(equals + 1).trimmed();
        if (equals < 0 || written.isEmpty() || said.isEmpty()) {
            *error = QStringLiteral("Aussprachedatei „%1“, Zeile %2: erwartet „schreibung = aussprache“.")
                         .arg(path)
                         .arg(number);
            return false;
        }
        own_.append({wholeWord(written), said});
    }
    return true;
}

QString Pronunciation::spoken(const QString& written) const
{
    QString text = written;
    // The user's pairs first, each on the text as the ones before left it;
    // their replacements are taken literally. Pairs that feed each other
    // could make the text grow without end: past a bound the name is said
    // as written.
    const qsizetype bound = 4 * std::max<qsizetype>(written.size(), longestAnnouncement);
    for (const Rule& rule : own_) {
        text.replace(rule.pattern, QString(rule.replacement).replace(QLatin1Char('\\'), QStringLiteral("\\\\")));
        if (text.size() > bound) {
            text = written;
            break;
        }
    }
    static const QRegularExpression denomination = pattern(QStringLiteral("(?<![\\w])(Ev|Kath)\\.(.*)"));
    for (QRegularExpressionMatch m = denomination.match(text); m.hasMatch(); m = denomination.match(text)) {
        const QString adjective = m.captured(1) == QLatin1String("Ev") ? QStringLiteral("Evangelisch")
                                                                       : QStringLiteral("Katholisch");
        text.replace(m.capturedStart(1), m.capturedLength(1) + 1, inflected(adjective, m.captured(2)));
    }
    for (const Rule& rule : builtIn_)
        text.replace(rule.pattern, rule.replacement);
    // Compounds: a hyphen at the seam and the second word as a noun, where
    // espeak-ng would otherwise read across it ("Rat-Haus", not "Ra-taus";
    // "Wald-Weg", its d said as t at the seam). At least three letters before the seam, so
    // that a word that is only the ending stays as it is.
    static const QRegularExpression compound =
        pattern(QStringLiteral("(?<![\\w])(\\w{3,}?)(straße|strasse|platz|allee|weg|haus|weide|gasse|damm|brücke|"
                               "garten|steig|chaussee)(?![\\w])"),
                QRegularExpression::CaseInsensitiveOption);
    for (qsizetype from = 0;;) {
        const QRegularExpressionMatch m = compound.match(text, from);
        if (!m.hasMatch())
            break;
        const QString second = m.captured(2);
        text.replace(m.capturedStart(2), second.size(), QLatin1Char('-') + second.left(1).toUpper() + second.mid(1));
        from = m.capturedEnd(2) + 1;
    }
    return text;
}
