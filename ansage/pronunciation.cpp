#include "pronunciation.h"

#include "announcement.h"
#include "userfile.h"

#include <algorithm>

namespace {
// A user's list is a few hundred names at most.
constexpr qint64 largestFile = 64 * 1024;

constexpr auto unicode = QRegularExpression::UseUnicodePropertiesOption;
constexpr auto anyCase = QRegularExpression::CaseInsensitiveOption;

// The sentence after the name at the terminus ("… Hbf. Endstelle."): the
// full stop before it is the end of a sentence.
const QString nextSentence = QStringLiteral("Endstelle");

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
    "straße|strasse|stieg|steig|platz|allee|weg|haus|weide|gasse|damm|brücke|garten|chaussee|markt|center");

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
    if (second == QLatin1String("chaussee"))
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
    // second stress, so the hyphen stays there. The second part then begins
    // a word, where espeak-ng says "st" and "c" rightly by itself.
    if (first.endsWith(QLatin1Char('e'), Qt::CaseInsensitive))
        return first + QLatin1Char('-') + second.left(1).toUpper() + second.mid(1);
    // "st" at the start of a word is [ʃt]; written so inside one.
    if (second.startsWith(QLatin1String("st")))
        second.insert(1, QStringLiteral("ch"));
    // "Center" as in English, with [s]; inside a word espeak-ng says [k],
    // and [z] after an apostrophe or a single s.
    else if (second == QLatin1String("center"))
        return first + (last == QLatin1Char('s') ? QStringLiteral("senter") : QStringLiteral("ssenter"));
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
    // Abbreviations, the longer ones first ("Hbf" before "Bf"), with their
    // full stop or without, in capitals too ("HBF", "Bahnhofstr"). The full
    // stop of one inside the name is no sentence's end, or espeak-ng falls
    // in pitch and pauses there: "Hbf. Ost", "Kaiserstr. 12" lose it ("{.}"
    // below). At the end of a name it stays: the name may end there,
    // written with or without its own, and the announcement goes on with
    // its next sentence ("… Hbf. Endstelle."), which the listener must hear
    // as a pause. Those that begin a name ("Dr.", "St.") lose it always.
    const std::pair<const char*, const char*> abbreviations[] = {
        // "S-Bahn und U-Bahn Hauptbahnhof": the lines, then the name; alone,
        // the kind of station.
        {"(?<![\\w])S\\s*\\+\\s*U(?=\\s+\\w)", "S- und U-Bahn"},
        {"(?<![\\w])S\\s*\\+\\s*U(?![\\w])", "S- und U-Bahnhof"},
        {"(?<![\\w])([SU])-?(?i:bhf|bf)(?![\\w]){.}", "\\1-Bahnhof"},
        {"(?<![\\w])(?i:hbf|hbhf|hptbf|hauptbf|hauptbhf)(?![\\w]){.}", "Hauptbahnhof"},
        {"(?<![\\w])(?i:bhf|bf)(?![\\w]){.}", "Bahnhof"},
        // "Ostbf", "Südbhf."
        {"(?<![\\w])(\\w{2,}?)(?i:bhf|bf)(?![\\w]){.}", "\\1bahnhof"},
        {"(?<![\\w])(?i:dr)\\.", "Doktor"},
        // "Abzw. Waldstraße": the branch, then where it leads.
        {"(?<![\\w])(?i:abzw)(?![\\w]){.}", "Abzweig"},
        {"(?<![\\w])(?i:prof)\\.", "Professor"},
        {"(?<![\\w])(?:St|ST)\\.", "Sankt"},
        {"(?<![\\w])(?i:kr)\\.", "Kreis"},
        // "Bergstr." and "Str." alike; the seam as for the written-out word.
        {"(?<![\\w])(\\w+)(?i:str)(?![\\w]){.}", "\\1straße"},
        {"(?<![\\w])(?i:str)(?![\\w]){.}", "Straße"},
        {"(?<![\\w])(\\w+)(?i:pl)(?![\\w]){.}", "\\1platz"},
        {"(?<![\\w])(?i:pl)(?![\\w]){.}", "Platz"},
        // The article of "Pl. d. Republik", "Str. d. 17. Juni".
        {"(?<![\\w])d\\.(?=\\s+\\d)", "des"},
        {"(?<![\\w])d\\.(?=\\s+\\w)", "der"},
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
    // The full stop after an abbreviation, dropped where the name goes on.
    const QString insideName = QStringLiteral("(?:\\.(?=[\\w-]|\\s+(?!%1(?![\\w]))\\w))?").arg(nextSentence);
    for (const auto& [regex, replacement] : abbreviations)
        builtIn_.append({pattern(QString::fromUtf8(regex).replace(QLatin1String("{.}"), insideName)),
                         QString::fromUtf8(replacement)});

    // Names espeak-ng misreads whatever their seams: a spelling it reads
    // rightly, or where there is none (a stress off the first syllable, an
    // [ə] before a seam with one main stress), its own phonemes. Goethe's
    // and Schönhausen's long ö, the ö of Ölberg, Allee and Bebel stressed
    // as said.
    const std::pair<const char*, const char*> misread[] = {
        {"(?<![\\w])Goethe", "Göhte"},
        {"(?<![\\w])Schön(?=hause)", "Schöhn"},
        {"(?<![\\w])Öl(?=berg)", "Öhl"},
        {"(?<![\\w])Allee(?![\\w])", "Allé"},
        {"(?<![\\w])Bebel(?![\\w])", "Behbel"},
        {"(?<![\\w])Gänsemarkt(?![\\w])", "[[g'Enz@,markt]]"},
        {"(?<![\\w])Gewerbegebiet(?![\\w])", "[[g@v'Erb@g@,bi:t]]"},
        {"(?<![\\w])Marienplatz(?![\\w])", "[[ma'ri:@n,plats]]"},
        {"(?<![\\w])Charlottenburg(?![\\w])", "[[Sar'lOt@n,bUrk]]"},
        {"(?<![\\w])Alexanderplatz(?![\\w])", "[[alE'ksand3,plats]]"},
        {"(?<![\\w])Kurfürstendamm(?![\\w])", "[[ku:r'fyrst@n,dam]]"},
        {"(?<![\\w])Olympiastadion(?![\\w])", "[[o'lympia,Sta:djOn]]"},
    };
    for (const auto& [regex, replacement] : misread)
        misread_.append({pattern(QString::fromUtf8(regex)), QString::fromUtf8(replacement)});
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
    // "[[" would begin espeak-ng's phonemes: only the rules below write it.
    static const QRegularExpression brackets = pattern(QStringLiteral("\\[{2,}|\\]{2,}"));
    for (QRegularExpressionMatch m = brackets.match(text); m.hasMatch(); m = brackets.match(text))
        text.replace(m.capturedStart(), m.capturedLength(), m.captured().left(1));
    static const QRegularExpression denomination = pattern(QStringLiteral("(?<![\\w])(Ev|Kath)\\.(.*)"));
    for (QRegularExpressionMatch m = denomination.match(text); m.hasMatch(); m = denomination.match(text)) {
        const QString adjective = m.captured(1) == QLatin1String("Ev") ? QStringLiteral("Evangelisch")
                                                                       : QStringLiteral("Katholisch");
        text.replace(m.capturedStart(1), m.capturedLength(1) + 1, inflected(adjective, m.captured(2)));
    }
    // A word in capitals ("KAISERSTR.") as a word: espeak-ng reads it as
    // one anyway, and the rules below then find its parts, where a word of
    // capitals and small letters would be spelled out. Shorter ones may be
    // said letter by letter ("ZOB", "HBF"): the rules know them so.
    static const QRegularExpression capitals = pattern(QStringLiteral("(?<![\\w])\\p{Lu}{4,}(?![\\w])"));
    for (auto it = capitals.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        text.replace(m.capturedStart() + 1, m.capturedLength() - 1, m.captured().mid(1).toLower());
    }
    for (const Rule& rule : builtIn_)
        text.replace(rule.pattern, rule.replacement);

    // A day of a month, and a number after "des", "am" and the like, is an
    // ordinal: espeak-ng would say "Straße des siebzehn" and pause at the
    // full stop. So is a number before a street's name: "3. Querweg" is
    // "Dritter Querweg", its ending as the street's last part wants it.
    static const QRegularExpression day = pattern(
        QStringLiteral("(?<![\\w.])(?:((?i:des|dem|den|am|im|vom|zum|beim))\\s+)?(\\d{1,2})\\.(?=([\\s-]*(?:Januar|"
                       "Jänner|Februar|März|April|Mai|Juni|Juli|August|September|Oktober|November|Dezember)(?![\\w]))?)"
                       "(?=\\s+(?!%1(?![\\w]))(\\p{Lu}\\w*))?")
            .arg(nextSentence));
    // The streets' last parts by gender; a number before another word
    // ("Linie 3. Bitte …") stays a number.
    static const QRegularExpression masculine = pattern(
        QStringLiteral("(weg|steig|stieg|damm|platz|garten|ring|markt|berg|hof|park|graben|wall|deich|pfad|kanal)$"),
        anyCase);
    static const QRegularExpression feminine = pattern(
        QStringLiteral("(straße|strasse|gasse|allee|brücke|chaussee|weide|siedlung|reihe|zeile|schleuse)$"), anyCase);
    static const QRegularExpression neuter = pattern(QStringLiteral("(haus|heim|feld|tor|dorf|ufer|zentrum|center)$"),
                                                     anyCase);
    QString withDays;
    qsizetype copied = 0;
    for (auto it = day.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool weak = m.capturedLength(1) > 0;
        const bool dated = weak || m.capturedLength(3) > 0;
        QString word = ordinal(m.captured(2).toInt(), weak);
        if (word.isEmpty())
            continue;
        if (!dated) {
            const QString street = m.captured(4);
            if (masculine.match(street).hasMatch())
                word += QLatin1Char('r');
            else if (neuter.match(street).hasMatch())
                word += QLatin1Char('s');
            else if (!feminine.match(street).hasMatch())
                continue;
            word[0] = word[0].toUpper();
        }
        withDays += QStringView(text).mid(copied, m.capturedStart(2) - copied);
        withDays += word;
        copied = m.capturedEnd(2) + 1;
    }
    text = withDays + text.mid(copied);

    // A written hyphen before a second part is a seam like any other:
    // "Ernst-Reuter-Platz" is stressed on the name, not on "Platz" too. Not
    // after a name that begins like an unstressed prefix: joined, espeak-ng
    // would say "Ge-SSLER-straße", "be-BEL-platz", "ent-NER-platz", where
    // the hyphenated form keeps the name's stress (and stresses "Platz"
    // too). "Ber" and "Ger" ("Bergmann", "Gerhart") it takes for no prefix.
    static const QRegularExpression hyphen = pattern(
        QStringLiteral("(?<![\\w])(?!(?:ge|be)(?![rhaeiouäöüy])|ver|zer|ent|emp)(\\w{3,})-(?=(?:%1)(?![\\w]))")
            .arg(secondParts),
        anyCase);
    text.replace(hyphen, QStringLiteral("\\1"));
    for (const Rule& rule : misread_)
        text.replace(rule.pattern, rule.replacement);
    // The seams of each word; the phonemes written above stay as they are.
    static const QRegularExpression word = pattern(QStringLiteral("\\[\\[.*?\\]\\]|\\w+"));
    QString withSeams;
    copied = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        withSeams += QStringView(text).mid(copied, m.capturedStart() - copied);
        withSeams += m.captured().startsWith(QLatin1Char('[')) ? m.captured() : seamed(m.captured());
        copied = m.capturedEnd();
    }
    return withSeams + text.mid(copied);
}
