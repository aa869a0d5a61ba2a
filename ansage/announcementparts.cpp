#include "announcementparts.h"

#include "extratexts.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace {
const QString opening = QStringLiteral("nächste Haltestelle");
const QString terminusEnding = QStringLiteral(". Endstelle. Bitte aussteigen");

AnnouncementPart part(AnnouncementPart::Kind kind, const QString& language, const QString& text)
{
    AnnouncementPart made;
    made.kind = kind;
    made.language = language;
    made.text = text;
    made.fileStem = kind == AnnouncementPart::Kind::Gong ? QStringLiteral("gong") : recordingStem(text);
    return made;
}

// The sentences of an extra text, each a part of its own, so that each
// can be a recording: the text is parted where a full stop, an exclamation
// or a question mark is followed by a blank.
QStringList sentences(const QString& text)
{
    static const QRegularExpression end(QStringLiteral("(?<=[.!?])\\s+"));
    QStringList all;
    for (const QString& sentence : text.split(end, Qt::SkipEmptyParts))
        all << sentence.trimmed();
    return all;
}

// What a second language says around the name.
struct Wording {
    const char16_t* language;
    const char16_t* opening;
    const char16_t* terminusEnding;
};
constexpr Wording secondWordings[] = {
    {u"en", u"Next stop", u"This is the final stop. Please leave the vehicle."},
};
} // namespace

QStringList supportedSecondLanguages()
{
    QStringList languages;
    for (const Wording& wording : secondWordings)
        languages << QString::fromUtf16(wording.language);
    return languages;
}

QList<AnnouncementPart> announcementParts(const QString& sentence, bool gong, const ExtraTexts* extras,
                                          const QStringList& secondLanguages)
{
    using Kind = AnnouncementPart::Kind;
    const QString de = QStringLiteral("de");
    QList<AnnouncementPart> parts;
    const auto addExtras = [&](const QStringList& texts, const QString& language) {
        for (const QString& text : texts)
            for (const QString& one : sentences(text))
                parts << part(Kind::Extra, language, one);
    };
    if (gong)
        parts << part(Kind::Gong, de, {});
    QString name = sentence.mid(opening.size() + 2); // after "nächste Haltestelle: "
    const bool terminus = name.endsWith(terminusEnding);
    if (terminus)
        name.chop(terminusEnding.size());
    parts << part(Kind::Opening, de, opening) << part(Kind::Name, de, name);
    if (extras)
        addExtras(extras->atStop(name, de), de);
    if (terminus) {
        parts << part(Kind::TerminusEnding, de, QStringLiteral("Endstelle. Bitte aussteigen"));
        if (extras)
            addExtras(extras->atTerminus(de), de);
    }
    for (const QString& language : secondLanguages) {
        const auto wording = std::find_if(std::begin(secondWordings), std::end(secondWordings),
                                          [&](const Wording& w) { return language == QStringView(w.language); });
        if (wording == std::end(secondWordings))
            continue; // refused at start
        parts << part(Kind::Opening, language, QString::fromUtf16(wording->opening));
        // The name stays German inside the other language's sentence, as
        // announcers say it: a part of its own in German, spoken by the
        // German voice (each part is synthesised apart, with its language's
        // voice) or played from the German recording.
        parts << part(Kind::Name, de, name);
        if (extras)
            addExtras(extras->atStop(name, language), language);
        if (terminus) {
            parts << part(Kind::TerminusEnding, language, QString::fromUtf16(wording->terminusEnding));
            if (extras)
                addExtras(extras->atTerminus(language), language);
        }
    }
    return parts;
}

QString recordingStem(const QString& text)
{
    QString stem;
    bool gap = false;
    for (const QChar c : text.normalized(QString::NormalizationForm_C).toLower()) {
        if (c.isLetterOrNumber()) {
            if (gap && !stem.isEmpty())
                stem += u'_';
            stem += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    // Room for the longest extension within the 255 bytes of a file name.
    return stem.toUtf8().size() > 240 ? QString() : stem;
}
