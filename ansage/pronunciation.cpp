#include "pronunciation.h"

#include "announcement.h"
#include "userfile.h"

#include <algorithm>

namespace {
// A user's list is a few hundred names at most.
constexpr qint64 largestFile = 64 * 1024;

constexpr auto unicode = QRegularExpression::UseUnicodePropertiesOption;
constexpr auto anyCase = QRegularExpression::CaseInsensitiveOption;

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
        QStringLiteral("^\\s*[\\w-]*(haus|heim|stift|zentrum|gymnasium|klinikum)\\b"), anyCase);
    return adjective + (neuter.match(rest).hasMatch() ? QStringLiteral("es") : QStringLiteral("e"));
}

// "17." as a word: "siebzehnte", or "siebzehnten" after an article or a
// preposition that asks for it ("Straße des 17. Juni", "am 3. Oktober").
// The days of a month only; an empty string for any other number.
QString ordinal(int number, bool weak)
{
    static const char* const units[] = {"",       "ein",   "zwei",  "drei",     "vier",     "fünf",    "sechs",
                                        "sieben", "acht",  "neun",  "zehn",     "elf",      "zwölf",   "dreizehn",
                                        "vierzehn", "fünfzehn", "sechzehn", "siebzehn", "achtzehn", "neunzehn"};
    QString stem;
    if (number == 1)
        stem = QStringLiteral("ers");
    else if (number == 3)
        stem = QStringLiteral("drit");
    else if (number == 7)
        stem = QStringLiteral("sieb");
    else if (number == 8)
        stem = QStringLiteral("ach");
    else if (number > 1 && number < 20)
        stem = QString::fromUtf8(units[number]);
    else if (number == 20 || number == 30)
        stem = number == 20 ? QStringLiteral("zwanzigs") : QStringLiteral("dreißigs");
    else if (number > 20 && number <= 31)
        stem = QString::fromUtf8(units[number % 10]) + (number < 30 ? QStringLiteral("undzwanzigs")
                                                                   : QStringLiteral("unddreißigs"));
    else
        return {};
    return stem + (weak ? QStringLiteral("ten") : QStringLiteral("te"));
}

// The last parts of compounds in stop names. espeak-ng reads a compound as
// one word and so across its seam: "Königstraße" with [st] where an
// announcer says [ʃt], "Waldweg" with a voiced d, "Rathaus" as "Ra-taus",
// "Schöneweide" even as English.
const QString secondParts = QStringLiteral(
    "straße|strasse|stieg|steig|platz|allee|weg|haus|weide|gasse|damm|brücke|garten|chaussee");

// A first part joined to a second part so that espeak-ng hears the seam but
// still stresses the compound once, on its first part, as German does. A
// hyphen would say the seam too, but espeak-ng makes two words of it, each
// with a main stress: "Markt-Platz" as if it were two names. Inside the
// word, an apostrophe parts the letters that espeak-ng would otherwise read
// as one sound ("t'h", "s'sch") and ends the first part as a word ends
// (the long vowel of "Fuß'weg"), without a second stress.
QString joined(QString first, QString second)
{
    second = second.toLower();
    // "st" at the start of a word is [ʃt]; written so inside one.
    if (second.startsWith(QLatin1String("st")))
        second.insert(1, QStringLiteral("ch"));
    else if (second == QLatin1String("chaussee"))
        second = QStringLiteral("schossee");
    // Said with a long vowel alone, short once anything follows it.
    if (first.compare(QLatin1String("Rat"), Qt::CaseInsensitive) == 0)
        first.insert(2, QLatin1Char(first.at(0).isUpper() && first.at(1).isUpper() ? 'H' : 'h'));
    // The end of a first part is voiceless, as at the end of a word: "Walt-weg",
    // "Berk-schtraße"; not "ng" nor "ig" ([ç]), which espeak-ng reads rightly.
    const QChar last = first.back().toLower();
    const QChar before = first.size() > 1 ? first.at(first.size() - 2).toLower() : QChar();
    const bool upper = first.back().isUpper();
    if (last == QLatin1Char('d'))
        first.back() = upper ? QLatin1Char('T') : QLatin1Char('t');
    else if (last == QLatin1Char('b'))
        first.back() = upper ? QLatin1Char('P') : QLatin1Char('p');
    else if (last == QLatin1Char('g') && before != QLatin1Char('n') && before != QLatin1Char('i'))
        first.back() = upper ? QLatin1Char('K') : QLatin1Char('k');
    // After a first part's final [ə] ("Schöne-Weide") every joined spelling
    // makes it a long [eː], or English; a wrong vowel is heard more than a
    // second stress, so the hyphen stays there.
    if (first.endsWith(QLatin1Char('e'), Qt::CaseInsensitive))
        return first + QLatin1Char('-') + second.left(1).toUpper() + second.mid(1);
    // An unstressed "-er" stays unstressed without the apostrophe ("Müllerschtraße");
    // with it espeak-ng says a long [eː].
    if (first.endsWith(QLatin1String("er"), Qt::CaseInsensitive))
        return first + second;
    return first + QLatin1Char('\'') + second;
}

// A word with its seams, from the end: "Rathausplatz" is "Rathaus" and
// "platz", and "Rathaus" is "Rat" and "haus". At least three letters before
// a seam, so that a word that is only the ending stays as it is.
QString seamed(const QString& word)
{
    static const QRegularExpression compound =
        pattern(QStringLiteral("^(\\w{3,}?)(%1)$").arg(secondParts), anyCase);
    const QRegularExpressionMatch m = compound.match(word);
    if (!m.hasMatch())
        return word;
    return joined(seamed(m.captured(1)), m.captured(2));
}
} // namespace

Pronunciation::Pronunciation()
{
    // Abbreviations, the longer ones first ("Hbf" before "Bf"). Those that
    // end a name ("Hbf", "Str.") keep a full stop after them: the name may
    // end there, written with or without its own, and the announcement goes
    // on with its next sentence ("… Hbf. Endstelle."), which the listener
    // must hear as a pause. Those that begin one ("Dr.", "St.") lose it.
    const std::pair<const char*, const char*> abbreviations[] = {
        // "S-Bahn und U-Bahn Hauptbahnhof": the lines, then the name; alone,
        // the kind of station.
        {"(?<![\\w])S\\s*\\+\\s*U(?=\\s+\\w)", "S- und U-Bahn"},
        {"(?<![\\w])S\\s*\\+\\s*U(?![\\w])", "S- und U-Bahnhof"},
        {"(?<![\\w])([SU])-?(?:Bhf|Bf)(?![\\w])(?:\\.(?=[\\w-]))?", "\\1-Bahnhof"},
        {"(?<![\\w])Hbf(?![\\w])(?:\\.(?=[\\w-]))?", "Hauptbahnhof"},
        {"(?<![\\w])(?:Bhf|Bf)(?![\\w])(?:\\.(?=[\\w-]))?", "Bahnhof"},
        {"(?<![\\w])Dr\\.", "Doktor"},
        // "Abzw. Waldstraße": the branch, then where it leads.
        {"(?<![\\w])Abzw\\.(?=[\\s-]*\\w)", "Abzweig"},
        {"(?<![\\w])Abzw(?![\\w])", "Abzweig"},
        {"(?<![\\w])Prof\\.", "Professor"},
        {"(?<![\\w])St\\.", "Sankt"},
        {"(?<![\\w])Kr\\.", "Kreis"},
        // "Bergstr." and "Str." alike; the seam as for the written-out word.
        {"(?<![\\w])(\\w+)str(?=\\.)", "\\1straße"},
        {"(?<![\\w])Str(?=\\.)", "Straße"},
        {"(?<![\\w])(\\w+)pl(?=\\.)", "\\1platz"},
        {"(?<![\\w])Pl(?=\\.)", "Platz"},
        // The central bus station, its adjective as the preposition wants it.
        {"(?<![\\w])((?i:am|beim|vom|zum|dem)\\s+)ZOB(?![\\w])", "\\1Zentralen Omnibusbahnhof"},
        {"(?<![\\w])ZOB(?![\\w])", "Zentraler Omnibusbahnhof"},
        // The old spelling with ß after a short vowel ("Schloß", "Fluß",
        // "Anschluß"): espeak-ng says the vowel long, as in "Fuß", once the
        // word ends at the ß or at a seam. In today's spelling it is short.
        {"(?<![\\w])((?i:an|ab|aus|ein|zu|über|ver|be|ent|ge|im|zusammen)?"
         "(?i:schlo|flu|ro|schlu|ku|nu|gu|schu|ri|bi|pa|fa|ha|na|me|expre|kongre|proze|kompa))ß",
         "\\1ss"},
    };
    for (const auto& [regex, replacement] : abbreviations)
        builtIn_.append({pattern(QString::fromUtf8(regex)), QString::fromUtf8(replacement)});
}

bool Pronunciation::addFile(const QString& path, QString* error)
{
    QStringList lines;
    if (!readUserFile(path, QStringLiteral("Aussprachedatei"), largestFile, &lines, error))
        return false;
    int number = 0;
    for (const QString& line : lines) {
        ++number;
        if (!typeableLine(line)) {
            *error = QStringLiteral("Aussprachedatei „%1“, Zeile %2: enthält ein Steuerzeichen.").arg(path).arg(number);
            return false;
        }
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

    // A day of a month, and a number after "des", "am" and the like, is an
    // ordinal: espeak-ng would say "Straße des siebzehn" and pause at the
    // full stop.
    static const QRegularExpression day = pattern(
        QStringLiteral("(?<![\\w.])(?:((?i:des|dem|den|am|im|vom|zum|beim))\\s+)?(\\d{1,2})\\.(?=([\\s-]*(?:Januar|"
                       "Jänner|Februar|März|April|Mai|Juni|Juli|August|September|Oktober|November|Dezember)(?![\\w]))?)"));
    QString withDays;
    qsizetype copied = 0;
    for (auto it = day.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool weak = m.capturedLength(1) > 0;
        const QString word = ordinal(m.captured(2).toInt(), weak);
        if ((!weak && m.capturedLength(3) == 0) || word.isEmpty())
            continue;
        withDays += QStringView(text).mid(copied, m.capturedStart(2) - copied);
        withDays += word;
        copied = m.capturedEnd(0);
    }
    text = withDays + text.mid(copied);

    // A written hyphen before a second part is a seam like any other:
    // "Ernst-Reuter-Platz" is stressed on the name, not on "Platz" too.
    static const QRegularExpression hyphen =
        pattern(QStringLiteral("(?<=\\w{3})-(?=(?:%1)(?![\\w]))").arg(secondParts), anyCase);
    text.remove(hyphen);
    static const QRegularExpression word = pattern(QStringLiteral("\\w+"));
    QString withSeams;
    copied = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        withSeams += QStringView(text).mid(copied, m.capturedStart() - copied);
        withSeams += seamed(m.captured());
        copied = m.capturedEnd();
    }
    return withSeams + text.mid(copied);
}
