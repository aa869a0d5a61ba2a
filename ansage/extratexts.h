#pragma once
// Extra texts per stop, from a plain text file the user writes by hand (or
// has written from a timetable): the exit side, the interchanges, a word
// for every stop or for the terminus, said after the stop's name.
//
//     # comment lines and blank lines are skipped
//     Hauptbahnhof = Ausstieg in Fahrtrichtung links.
//     Hauptbahnhof [en] = Exit on the left.
//     * = Bitte halten Sie sich fest.
//     *Endstelle = Bitte vergessen Sie Ihre Sachen nicht.
//
// The key before the first "=" is a stop's name as the sign shows it, "*"
// for every stop or "*Endstelle" for the terminus, then an optional
// language tag in small letters ("[en]"; none or "[de]" is German). Names
// are compared exactly, capitals and all (the file is written with the
// names of the stop file, and "Am Anger" and "Am anger" may be two stops),
// after trimming and in one Unicode form (an editor may have saved the
// umlauts decomposed). Several lines for one key are said in file order.

#include "announcement.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <utility>

class ExtraTexts {
public:
    // A route has at most 99 stops; with their interchanges, a second
    // language and the user's own lines that is a few hundred entries. A
    // text is a few sentences; the interchanges that the simulator writes
    // from a timetable (--zusatz-ausgabe) come to less than 1500 bytes a
    // stop, and the file for a route's 99 stops to less than 256 KiB.
    static constexpr qint64 largestFile = 256 * 1024;
    static constexpr int mostEntries = 1000;
    static constexpr int longestText = 1500; // characters
    // A name longer than an announcement is never called.
    static constexpr int longestName = longestAnnouncement;
    // Past this many refused lines the rest are only counted.
    static constexpr int mostRefusalLines = 20;
    // The key that stands for every stop, and the one for the terminus.
    static const QString everyStop;
    static const QString terminus;

    // Adds the entries of the file. False and one line why when the file
    // cannot be read, is larger than largestFile, or is neither UTF-8 nor
    // Windows-1252; else true, with one line in `refusals` for each line
    // that is not taken (its number and why).
    bool addFile(const QString& path, QStringList* refusals, QString* error);

    // The texts said after the name of that stop, in that language: those
    // for every stop, then the stop's own, each in file order.
    QStringList atStop(const QString& name, const QString& language) const;
    // The texts said after the terminus ending, in that language.
    QStringList atTerminus(const QString& language) const;
    int size() const { return entries_; }

private:
    QStringList texts(const QString& key, const QString& language) const;
    // By language and key.
    QHash<std::pair<QString, QString>, QStringList> texts_;
    int entries_ = 0;
};
