#pragma once
// An announcement as a vehicle gives it: a list of parts (the gong, the
// opening words, the stop's name, the terminus ending, extra texts, and the
// same again in a second language), each played from a recording where the
// user's folder has one and spoken by the synthetic voice otherwise.

#include <QList>
#include <QString>
#include <QStringList>

class ExtraTexts;

struct AnnouncementPart {
    enum class Kind { Gong, Opening, Name, TerminusEnding, Extra };
    Kind kind = Kind::Opening;
    // The voice that speaks it and the recordings' subfolder: "de" (the
    // folder itself) or a second language ("en" and its subfolder "en").
    QString language = QStringLiteral("de");
    // What is said, as written (the pronunciation rules apply to German
    // text before synthesis); empty for the gong.
    QString text;
    // The recording's file name without its extension (recordingStem()).
    QString fileStem;
};

// The parts of the simulator's sentence ("nächste Haltestelle: NAME" with
// ". Endstelle. Bitte aussteigen" at the terminus), with the extra texts
// for that stop, then the same in each second language.
QList<AnnouncementPart> announcementParts(const QString& sentence, bool gong, const ExtraTexts* extras,
                                          const QStringList& secondLanguages);

// The languages a second part can be in ("en").
QStringList supportedSecondLanguages();

// The file-name-safe form of a text: lower case, every run of characters
// other than letters and digits one "_", none at either end; empty when
// the result would not fit a file name.
QString recordingStem(const QString& text);
