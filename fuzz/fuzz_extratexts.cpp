// Fuzzes the companion's extra-text file (--zusatz) with arbitrary bytes,
// written to a file and read as the program reads it, then the parts of an
// announcement at each name the file could mean.
//
// Each input must end in the file read or refused whole in one line; when
// read:
//  - every line of the file is skipped (blank, comment), taken as an entry
//    or refused, and each refused one has its line (at most 20, then one
//    that counts the rest), which names the file and has no line break;
//  - no more than 1000 entries are taken, and the texts handed out for all
//    the keys the lines could name add up to exactly the entries taken;
//  - every text handed out is trimmed, not empty, at most 1500 characters
//    and free of control characters;
//  - the announcement at each such name has the German opening, the name
//    in German twice (once in the English part), an English opening, a
//    terminus ending in either language where the sentence ends in one, and
//    no part without text but the gong (and a stop without a name).

#include "scratchfile.h"

#include <announcementparts.h>
#include <extratexts.h>
#include <userfile.h>

#include <QRegularExpression>
#include <QSet>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "fuzz_extratexts: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what)
{
    if (!condition)
        finding(what);
}

bool typeable(const QString& text)
{
    for (const QChar c : text)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    return true;
}

void checkTexts(const QStringList& texts)
{
    for (const QString& text : texts)
        check(!text.isEmpty() && text == text.trimmed() && text.size() <= ExtraTexts::longestText && typeable(text),
              "a text handed out untrimmed, empty, too long or with a control character");
}

// The keys a line could name: what stands before its first "=", with and
// without a language tag at its end, as the sign would have it.
QSet<QString> candidateKeys(const QStringList& lines)
{
    static const QRegularExpression tag(QStringLiteral("\\s*\\[[^\\[\\]]*\\]$"));
    QSet<QString> keys;
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0)
            continue;
        QString key = line.left(equals).trimmed();
        keys << key.normalized(QString::NormalizationForm_C);
        key.remove(tag);
        keys << key.trimmed().normalized(QString::NormalizationForm_C);
    }
    return keys;
}

void checkParts(const ExtraTexts& extras, const QString& name, bool terminus)
{
    using Kind = AnnouncementPart::Kind;
    const QString sentence = QStringLiteral("nächste Haltestelle: ") + name
                           + (terminus ? QStringLiteral(". Endstelle. Bitte aussteigen") : QString());
    const QList<AnnouncementPart> parts = announcementParts(sentence, true, &extras, {QStringLiteral("en")});
    int openings = 0, names = 0, endings = 0;
    for (const AnnouncementPart& part : parts) {
        check(part.language == QLatin1String("de") || part.language == QLatin1String("en"), "a part in no language");
        // A stop file may have a stop without a name; any other part says something.
        check(part.kind == Kind::Gong ? part.text.isEmpty() : part.kind == Kind::Name || !part.text.isEmpty(),
              "a part without text");
        if (part.kind == Kind::Opening)
            ++openings;
        else if (part.kind == Kind::Name) {
            ++names;
            check(part.language == QLatin1String("de") && part.text == name, "the name changed or not German");
        } else if (part.kind == Kind::TerminusEnding)
            ++endings;
    }
    check(openings == 2 && names == 2 && endings == (terminus ? 2 : 0), "parts missing or doubled");
    check(parts.first().kind == Kind::Gong && parts[1].kind == Kind::Opening && parts[2].kind == Kind::Name,
          "the announcement does not begin with gong, opening and name");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    scratchfile::make("fuzz_extratexts", "zusatz.txt");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (!scratchfile::write(std::string_view(reinterpret_cast<const char*>(data), size)))
        return 0;
    const QString& tempFile = scratchfile::path;
    ExtraTexts extras;
    QStringList refusals;
    QString error;
    QStringList lines;
    QString readError;
    const bool readable =
        readUserFile(tempFile, QStringLiteral("Zusatzdatei"), ExtraTexts::largestFile, &lines, &readError);
    if (!extras.addFile(tempFile, &refusals, &error)) {
        check(!readable, "a readable file refused");
        check(!error.isEmpty() && !error.contains(QLatin1Char('\n')) && error.contains(tempFile),
              "a refusal not one line naming the file");
        check(refusals.isEmpty() && extras.size() == 0, "entries or line refusals with a refused file");
        return 0;
    }
    check(readable, "an unreadable file read");

    int skipped = 0;
    for (const QString& line : lines)
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(QLatin1Char('#')))
            ++skipped;
    const QString prefix = QStringLiteral("Zusatzdatei „%1“").arg(tempFile);
    int refused = 0;
    static const QRegularExpression counted(QStringLiteral(": (\\d+) weitere Zeilen übergangen\\.$"));
    for (const QString& line : refusals) {
        check(line.startsWith(prefix) && !line.contains(QLatin1Char('\n')), "a refusal not one line naming the file");
        const QRegularExpressionMatch m = counted.match(line);
        refused += m.hasMatch() ? m.captured(1).toInt() : 1;
    }
    check(refusals.size() <= ExtraTexts::mostRefusalLines + 1, "too many refusal lines");
    check(extras.size() <= ExtraTexts::mostEntries, "more entries than the bound");
    check(skipped + refused + extras.size() == lines.size(), "a line neither skipped, taken nor refused");

    const QStringList languages{QStringLiteral("de"), QStringLiteral("en")};
    const QSet<QString> keys = candidateKeys(lines);
    // No stop of that name: the texts for every stop alone.
    const QString nowhere = QStringLiteral("\n");
    int handedOut = 0;
    for (const QString& language : languages) {
        const QStringList everyStop = extras.atStop(nowhere, language);
        const QStringList atTerminus = extras.atTerminus(language);
        checkTexts(everyStop);
        checkTexts(atTerminus);
        handedOut += everyStop.size() + atTerminus.size();
        for (const QString& key : keys) {
            if (key == ExtraTexts::everyStop || key == ExtraTexts::terminus)
                continue;
            const QStringList texts = extras.atStop(key, language);
            checkTexts(texts);
            check(texts.mid(0, everyStop.size()) == everyStop, "a stop's texts without every stop's first");
            handedOut += texts.size() - everyStop.size();
        }
    }
    check(handedOut == extras.size(), "the texts handed out are not the entries taken");

    int checkedNames = 0;
    for (const QString& key : keys) {
        // A name that ends as the terminus sentence does is read as one.
        if (key.endsWith(QStringLiteral(". Endstelle. Bitte aussteigen")))
            continue;
        if (++checkedNames > 20)
            break;
        checkParts(extras, key, false);
        checkParts(extras, key, true);
    }
    return 0;
}
