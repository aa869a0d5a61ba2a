// The sign's text writer and its paging: what the sign shows after a write and
// after each page change. Page changes are fired by calling the tick handler;
// no test waits for the timer.

#include <Pendralumovista1.h>
#include <signreader.h>
#include <text.h>

#include <QAction>
#include <QStringList>
#include <QTest>

#include <tuple>

namespace {

QString shown(const TForm1& sign)
{
    return tk::toQString(readSign(sign));
}

// As the control unit writes: clear first, then write.
void clearAndWrite(TForm1& sign, const QString& text)
{
    sign.Reset1->trigger();
    sign.schreib(tk::fromQString(text));
}

// Fires page changes until the page timer stops; what the sign shows after each.
QStringList pageUntilStopped(TForm1& sign)
{
    QStringList seen;
    for (int tick = 0; sign.Timer1->Enabled() && tick < 1000; ++tick) {
        sign.Timer1Timer();
        seen << shown(sign);
    }
    return seen;
}

// The pages of the last long text, which a short text leaves in place.
auto pagingState(const TForm1& sign)
{
    return std::tuple(sign.FirstPage, sign.SecondPage, sign.FirstPageShown, int(sign.PageTicks));
}

// What the sign shows after writing a text that breaks into these pieces,
// then after each page change. Two pieces alternate: five changes, ending on
// the second. A longer text is paged piece by piece: every later piece is
// split off when it comes up and shown twice, and the last two then
// alternate until the fifth change since that split.
QStringList timelineOf(const QStringList& pieces)
{
    const qsizetype n = pieces.size();
    QStringList expected{pieces.first()};
    for (qsizetype i = 1; i + 1 < n; ++i)
        expected << pieces.at(i) << pieces.at(i);
    expected << pieces.at(n - 1) << pieces.at(n - 2) << pieces.at(n - 1) << pieces.at(n - 2);
    if (n == 2)
        expected << pieces.at(1);
    return expected;
}

} // namespace

class TestWriter : public QObject {
    Q_OBJECT

private slots:
    void shortTextsStartNoPaging_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        // Written at 10 s into the paging of this earlier text, if any.
        QTest::addColumn<QString>("earlier");
        const QString none, twoPages = "Hauptbahnhof Ostseite";
        QTest::newRow("exactly 20 characters") << "Sankt-Georg-Kirchplz" << "Sankt-Georg-Kirchplz" << none;
        // After the caller's clear, a code without a glyph leaves its cell dark.
        QTest::newRow("no glyph, nothing shifts") << "Café Rosé 9" << "Caf  Ros  9" << none;
        QTest::newRow("empty") << "" << "" << none;
        QTest::newRow("short, during paging") << "Rathaus" << "Rathaus" << twoPages;
        QTest::newRow("empty, during paging") << "" << "" << twoPages;
        // The fall-back to line and destination while a long name is split
        // piece by piece.
        QTest::newRow("line and destination, during three pieces")
            << "  7 Kurz" << "  7 Kurz" << "Betriebshof Nord Ausstieg hinten links bitte";
    }

    void shortTextsStartNoPaging()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QFETCH(QString, earlier);
        TForm1 sign;
        if (!earlier.isEmpty()) {
            clearAndWrite(sign, earlier);
            sign.Timer1Timer(); // 5 s
            sign.Timer1Timer(); // 10 s
        }
        const auto before = pagingState(sign);
        clearAndWrite(sign, text);
        QCOMPARE(shown(sign), expected);
        // The earlier text's pages stay in their members but never come
        // back: the short text stays on the sign.
        QVERIFY(pagingState(sign) == before);
        QVERIFY(!sign.Timer1->isTicking());
        QCOMPARE(pageUntilStopped(sign), QStringList());
        QCOMPARE(shown(sign), expected);
    }

    void theWriterOnlyAddsLight()
    {
        // Nothing is cleared: a cell whose code has no glyph keeps what it
        // showed, and a glyph is lit over the one beneath.
        TForm1 sign;
        clearAndWrite(sign, " X X");
        sign.schreib(tk::fromUtf8("AéA&B"));
        QCOMPARE(shown(sign), QStringLiteral("AXAXB"));
        const int lit = litDotCount(sign);
        sign.schreib("I");
        QVERIFY(litDotCount(sign) > lit);
        QCOMPARE(shown(sign).mid(1), QStringLiteral("XAXB"));
    }

    void longTextsPageAndStop_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("21, blank at 13") << "Hauptbahnhof Ostseite" << QStringList{"Hauptbahnhof", "Ostseite"};
        QTest::newRow("25, last blank among 21")
            << "Am Markt Nord Ostseite 12" << QStringList{"Am Markt Nord", "Ostseite 12"};
        // A second page that is empty leaves the sign dark in its turn.
        QTest::newRow("21, blank at 21") << "Westfriedhof Eingang " << QStringList{"Westfriedhof Eingang", ""};
        // Without a blank to break at, no character is lost: the second page
        // starts with the 21st.
        QTest::newRow("21, no blank") << "Donaudampfschifffahrt" << QStringList{"Donaudampfschifffahr", "t"};
        QTest::newRow("first blank at 22")
            << "Donaudampfschifffahrt Ost" << QStringList{"Donaudampfschifffahr", "t Ost"};
        QTest::newRow("26, no blank") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ" << QStringList{"ABCDEFGHIJKLMNOPQRST", "UVWXYZ"};
        QTest::newRow("28, hyphens only")
            << "Freiherr-vom-Stein-Gymnasium" << QStringList{"Freiherr-vom-Stein-G", "ymnasium"};
        // A blank at position 1 alone counts as none: cell 0 stays dark.
        QTest::newRow("only blank at 1")
            << " Donaudampfschifffahrtskapitaen" << QStringList{" Donaudampfschifffah", "rtskapitaen"};
        QTest::newRow("blank at 2") << "A Bcdefghijklmnopqrst" << QStringList{"A", "Bcdefghijklmnopqrst"};
        // Betriebshof Nord; Ausstieg hinten at 5 and 10 s; links bitte at 15;
        // Ausstieg hinten, links bitte, Ausstieg hinten at 20, 25 and 30 s.
        QTest::newRow("44, six page changes")
            << "Betriebshof Nord Ausstieg hinten links bitte"
            << QStringList{"Betriebshof Nord", "Ausstieg hinten", "links bitte"};
        // Beyond 255 characters the text is still paged to its end.
        QStringList numbered;
        for (int i = 1; i <= 15; ++i)
            numbered << QStringLiteral("Abschnitt%1").arg(i, 2, 10, QLatin1Char('0')).leftJustified(20, u'-');
        QTest::newRow("314 with blanks") << numbered.join(u' ') << numbered;
        // Without a blank the text is cut every 20 characters.
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ").repeated(12).left(300);
        QStringList cut;
        for (int from = 0; from < 300; from += 20)
            cut << letters.mid(from, 20);
        QTest::newRow("300 without a blank") << letters << cut;
    }

    void longTextsPageAndStop()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        TForm1 sign;
        clearAndWrite(sign, text);
        QCOMPARE(tk::toQString(sign.FirstPage), pieces.first());
        // Only a blank at the break is dropped.
        const qsizetype at = pieces.first().size();
        QCOMPARE(tk::toQString(sign.SecondPage), text.mid(at + (text.at(at) == u' ' ? 1 : 0)));
        QVERIFY(sign.Timer1->isTicking());
        const QStringList seen{shown(sign)};
        QCOMPARE(seen + pageUntilStopped(sign), timelineOf(pieces));
        QVERIFY(!sign.Timer1->isTicking());
        // The last two pieces stay in place after paging ends.
        QCOMPARE(tk::toQString(sign.FirstPage), pieces.at(pieces.size() - 2));
        QCOMPARE(tk::toQString(sign.SecondPage), pieces.last());
    }

    void aNewLongTextTakesOver()
    {
        TForm1 sign;
        clearAndWrite(sign, "Hauptbahnhof Ostseite");
        for (int tick = 0; tick < 3; ++tick)
            sign.Timer1Timer();
        // Let the running period advance: the new text's first change comes
        // a full period after the write, not when the old period is due.
        QTRY_VERIFY_WITH_TIMEOUT(sign.Timer1->remainingTime() <= 4800, 2000);
        clearAndWrite(sign, "Am Markt Nord Ostseite 12");
        QVERIFY(sign.Timer1->isTicking());
        QVERIFY2(sign.Timer1->remainingTime() > 4800, qPrintable(QString::number(sign.Timer1->remainingTime())));
        QCOMPARE(shown(sign), QStringLiteral("Am Markt Nord"));
        // Five full changes of the new text follow.
        const QString a = "Am Markt Nord", s = "Ostseite 12";
        QCOMPARE(pageUntilStopped(sign), (QStringList{s, a, s, a, s}));
    }
};

QTEST_MAIN(TestWriter)
#include "tst_writer.moc"
