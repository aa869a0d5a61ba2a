#pragma once
// How stop names are said: the written text is rewritten before synthesis
// so that espeak-ng reads abbreviations as words ("Hbf" as "Hauptbahnhof"),
// days as ordinals ("des 17. Juni" as "des siebzehnten Juni") and hears the
// seam of a compound ("König'schtraße", else it says [st] where an
// announcer says [ʃt]) with one main stress. The user can add pairs of
// their own.

#include <QList>
#include <QRegularExpression>
#include <QString>

class Pronunciation {
public:
    Pronunciation();
    // Adds the pairs of a plain text file, one "schreibung = aussprache" a
    // line; blank lines and lines beginning with # are skipped. The file is
    // UTF-8 or, like the stop files, Windows-1252, and is only read. False
    // and one line why when it cannot be read, is too big, is neither, or
    // has a control character or a line of another shape.
    bool addFile(const QString& path, QString* error);
    // The text as espeak-ng should get it.
    QString spoken(const QString& written) const;

private:
    struct Rule {
        QRegularExpression pattern;
        QString replacement;
    };
    QList<Rule> own_;     // the user's, tried first
    QList<Rule> builtIn_;
    QList<Rule> misread_; // after the abbreviations, before the seams
};
