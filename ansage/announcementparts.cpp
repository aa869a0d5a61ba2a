#include "announcementparts.h"

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
} // namespace

QList<AnnouncementPart> announcementParts(const QString& sentence, bool gong, const ExtraTexts*, const QStringList&)
{
    using Kind = AnnouncementPart::Kind;
    const QString de = QStringLiteral("de");
    QList<AnnouncementPart> parts;
    if (gong)
        parts << part(Kind::Gong, de, {});
    QString name = sentence.mid(opening.size() + 2); // after "nächste Haltestelle: "
    const bool terminus = name.endsWith(terminusEnding);
    if (terminus)
        name.chop(terminusEnding.size());
    parts << part(Kind::Opening, de, opening) << part(Kind::Name, de, name);
    if (terminus)
        parts << part(Kind::TerminusEnding, de, QStringLiteral("Endstelle. Bitte aussteigen"));
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
