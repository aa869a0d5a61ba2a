#include "extratexts.h"

#include "userfile.h"

#include <QRegularExpression>

const QString ExtraTexts::everyStop = QStringLiteral("*");
const QString ExtraTexts::terminus = QStringLiteral("*Endstelle");

namespace {
// A name as the file and the sign may have it: without blanks around, and
// with its umlauts composed.
QString keyOf(const QString& name)
{
    return name.trimmed().normalized(QString::NormalizationForm_C);
}
} // namespace

bool ExtraTexts::addFile(const QString& path, QStringList* refusals, QString* error)
{
    QStringList lines;
    if (!readUserFile(path, QStringLiteral("Zusatzdatei"), largestFile, &lines, error))
        return false;
    // Two small letters at the end of the key; "Bahnhof [DB]" stays a name.
    static const QRegularExpression tagged(QStringLiteral("^(.*?)\\s*\\[([a-z]{2})\\]$"));
    int refused = 0;
    const auto refuse = [&](int number, const QString& why) {
        if (++refused <= mostRefusalLines)
            *refusals << QStringLiteral("Zusatzdatei „%1“, Zeile %2 übergangen: %3.").arg(path).arg(number).arg(why);
    };
    int number = 0;
    for (const QString& line : lines) {
        ++number;
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        if (!typeableLine(line)) {
            refuse(number, QStringLiteral("enthält ein Steuerzeichen"));
            continue;
        }
        const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
        QString key = trimmed.left(equals).trimmed();
        // Said as one line: a tab or a run of blanks is one blank.
        const QString text = trimmed.mid(equals + 1).simplified();
        if (equals < 0 || key.isEmpty() || text.isEmpty()) {
            refuse(number, QStringLiteral("erwartet „Haltestelle = Text“"));
            continue;
        }
        QString language = QStringLiteral("de");
        if (const QRegularExpressionMatch m = tagged.match(key); m.hasMatch()) {
            key = m.captured(1);
            language = m.captured(2);
            if (language != QLatin1String("de") && language != QLatin1String("en")) {
                refuse(number, QStringLiteral("die Sprache „%1“ gibt es hier nicht (nur de und en)").arg(language));
                continue;
            }
        }
        key = keyOf(key);
        if (key.isEmpty()) {
            refuse(number, QStringLiteral("erwartet „Haltestelle = Text“"));
            continue;
        }
        if (key.startsWith(everyStop) && key != everyStop && key != terminus) {
            refuse(number, QStringLiteral("„%1“ ist weder „*“ noch „*Endstelle“").arg(key.left(40)));
            continue;
        }
        if (key.size() > longestName) {
            refuse(number, QStringLiteral("der Name ist länger als %1 Zeichen").arg(longestName));
            continue;
        }
        if (text.size() > longestText) {
            refuse(number, QStringLiteral("der Text ist länger als %1 Zeichen").arg(longestText));
            continue;
        }
        if (entries_ == mostEntries) {
            refuse(number, QStringLiteral("mehr als %1 Einträge").arg(mostEntries));
            continue;
        }
        texts_[{language, key}] << text;
        ++entries_;
    }
    if (refused > mostRefusalLines)
        *refusals << QStringLiteral("Zusatzdatei „%1“: %2 weitere Zeilen übergangen.")
                         .arg(path)
                         .arg(refused - mostRefusalLines);
    return true;
}

QStringList ExtraTexts::texts(const QString& key, const QString& language) const
{
    return texts_.value({language, key});
}

QStringList ExtraTexts::atStop(const QString& name, const QString& language) const
{
    const QString key = keyOf(name);
    QStringList all = texts(everyStop, language);
    // A stop called "*" would be every stop a second time.
    if (key != everyStop && key != terminus)
        all << texts(key, language);
    return all;
}

QStringList ExtraTexts::atTerminus(const QString& language) const
{
    return texts(terminus, language);
}
