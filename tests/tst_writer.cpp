// The sign's text writer and its paging: what the sign shows after a write and
// after each page change, and the page timer's state along the way. Page
// changes are fired by calling the tick handler; no test waits for the timer.

#include <Pendralumovista1.h>
#include <signreader.h>
#include <text.h>

#include <QAction>
#include <QStringList>
#include <QTest>

#include <memory>

namespace {

QString signText(const TForm1& sign)
{
    return tk::toQString(readSign(sign));
}

QString page(const tk::Text& text)
{
    return tk::toQString(text);
}

// As the control unit writes: clear first, then write.
void clearAndWrite(TForm1& sign, const tk::Text& text)
{
    sign.Reset1->trigger();
    sign.schreib(text);
}

struct PagingState {
    tk::Text firstPage, secondPage;
    bool firstPageShown;
    int pageTicks;
    bool timerEnabled;

    explicit PagingState(const TForm1& sign)
        : firstPage(sign.FirstPage), secondPage(sign.SecondPage), firstPageShown(sign.FirstPageShown),
          pageTicks(sign.PageTicks), timerEnabled(sign.Timer1->Enabled())
    {
    }
    bool operator==(const PagingState&) const = default;
};

// Twenty characters without a blank, numbered so every piece is told apart.
QString numberedPiece(int number)
{
    return QStringLiteral("Abschnitt%1").arg(number, 2, 10, QLatin1Char('0')).leftJustified(20, QLatin1Char('-'));
}

} // namespace

class TestWriter : public QObject {
    Q_OBJECT

private slots:
    void writesOneCharacterPerCell_data();
    void writesOneCharacterPerCell();
    void writerOnlyLights();
    void codeWithoutGlyphKeepsItsCell();
    void emptyTextChangesNothing();
    void split_data();
    void split();
    void pagesAlternateAndStop_data();
    void pagesAlternateAndStop();
    void longSecondPageSplitsAgain();
    void shortTextDuringPagingDoesNotStopIt();
    void newLongTextTakesOver();
    void veryLongTextPagesToItsEnd_data();
    void veryLongTextPagesToItsEnd();
};

void TestWriter::writesOneCharacterPerCell_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("word") << "Rathaus" << "Rathaus";
    QTest::newRow("blanks keep their cells") << " Am  Markt" << " Am  Markt";
    QTest::newRow("exactly 20 characters") << "Sankt-Georg-Kirchplz" << "Sankt-Georg-Kirchplz";
    QTest::newRow("digits and signs") << "Linie 12: (Nord)!" << "Linie 12: (Nord)!";
    QTest::newRow("umlauts, sharp s, section") << "ÄÖÜ äöü ß §" << "ÄÖÜ äöü ß §";
    QTest::newRow("no case folding") << "aA äÄ" << "aA äÄ";
}

void TestWriter::writesOneCharacterPerCell()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);

    TForm1 sign;
    const PagingState before(sign);
    clearAndWrite(sign, tk::fromQString(text));

    QCOMPARE(signText(sign), shown);
    // Twenty characters or fewer start no paging and touch no page member.
    QVERIFY(PagingState(sign) == before);
    QVERIFY(!sign.Timer1->isTicking());
}

void TestWriter::writerOnlyLights()
{
    TForm1 first, second, both;
    clearAndWrite(first, "Rathaus");
    clearAndWrite(second, "Markt 7");
    clearAndWrite(both, "Rathaus");
    both.schreib("Markt 7");

    // Writing without a clear adds the new glyphs to what is lit.
    for (size_t i = 0; i < size_t(TForm1::DotCount); ++i) {
        const bool expected = first.Dots[i]->BrushColor() == TForm1::LitColor
            || second.Dots[i]->BrushColor() == TForm1::LitColor;
        QVERIFY2((both.Dots[i]->BrushColor() == TForm1::LitColor) == expected, qPrintable(QString::number(i)));
    }
}

void TestWriter::codeWithoutGlyphKeepsItsCell()
{
    TForm1 sign;
    // After a clear the cell of an e acute stays dark and nothing shifts.
    clearAndWrite(sign, tk::fromUtf8("Café Rosé 9"));
    QCOMPARE(signText(sign), QStringLiteral("Caf  Ros  9"));

    // Without a clear the cell keeps whatever it showed.
    clearAndWrite(sign, " X X");
    sign.schreib(tk::fromUtf8("AéA&B"));
    QCOMPARE(signText(sign), QStringLiteral("AXAXB"));
}

void TestWriter::emptyTextChangesNothing()
{
    TForm1 sign;
    sign.schreib(tk::Text());
    QCOMPARE(litDotCount(sign), 0);
    QVERIFY(PagingState(sign) == PagingState(TForm1()));

    // During paging, too: the sign keeps its page and the paging goes on.
    clearAndWrite(sign, "Hauptbahnhof Ostseite");
    sign.Timer1Timer();
    const PagingState paging(sign);
    const int lit = litDotCount(sign);
    sign.schreib(tk::Text());
    QCOMPARE(signText(sign), QStringLiteral("Ostseite"));
    QCOMPARE(litDotCount(sign), lit);
    QVERIFY(PagingState(sign) == paging);
    QVERIFY(sign.Timer1->isTicking());
}

void TestWriter::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("firstPage");
    QTest::addColumn<QString>("secondPage");

    QTest::newRow("21, blank at 13") << "Hauptbahnhof Ostseite" << "Hauptbahnhof" << "Ostseite";
    QTest::newRow("25, last blank among 21 wins") << "Am Markt Nord Ostseite 12" << "Am Markt Nord" << "Ostseite 12";
    QTest::newRow("21, blank at 21") << "Westfriedhof Eingang " << "Westfriedhof Eingang" << "";
    QTest::newRow("21, no blank") << "Donaudampfschifffahrt" << "Donaudampfschifffahr" << "";
    QTest::newRow("26, no blank") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ" << "ABCDEFGHIJKLMNOPQRST" << "VWXYZ";
    QTest::newRow("only blank at 1") << " Donaudampfschifffahrtskapitaen" << " Donaudampfschifffah" << "tskapitaen";
    QTest::newRow("blank at 2") << "A Bcdefghijklmnopqrstuvwxyz" << "A" << "Bcdefghijklmnopqrstuvwxyz";
    QTest::newRow("first blank at 22") << "Donaudampfschifffahrt Ost" << "Donaudampfschifffahr" << " Ost";
    QTest::newRow("44, long second page") << "Betriebshof Nord Ausstieg hinten links bitte" << "Betriebshof Nord"
                                          << "Ausstieg hinten links bitte";
    QTest::newRow("umlauts") << "Übergänge Köln Straße" << "Übergänge Köln" << "Straße";
}

void TestWriter::split()
{
    QFETCH(QString, text);
    QFETCH(QString, firstPage);
    QFETCH(QString, secondPage);

    TForm1 sign;
    clearAndWrite(sign, tk::fromQString(text));

    QCOMPARE(page(sign.FirstPage), firstPage);
    QCOMPARE(page(sign.SecondPage), secondPage);
    QVERIFY(sign.FirstPageShown);
    QCOMPARE(int(sign.PageTicks), 0);
    QVERIFY(sign.Timer1->Enabled());
    QVERIFY(sign.Timer1->isTicking());
    QCOMPARE(sign.Timer1->Interval(), 5000);
    // The first page shows at once.
    QCOMPARE(signText(sign), firstPage);
}

void TestWriter::pagesAlternateAndStop_data()
{
    QTest::addColumn<QString>("text");
    // What the sign shows after the write, then after each page change; the
    // timer stops at the last one.
    QTest::addColumn<QStringList>("shown");

    const QString h = "Hauptbahnhof", o = "Ostseite";
    QTest::newRow("two pages") << "Hauptbahnhof Ostseite" << QStringList{h, o, h, o, h, o};
    const QString w = "Westfriedhof Eingang";
    QTest::newRow("blank at 21 ends dark") << "Westfriedhof Eingang " << QStringList{w, "", w, "", w, ""};
    const QString d = "Donaudampfschifffahr";
    QTest::newRow("no blank ends dark") << "Donaudampfschifffahrt" << QStringList{d, "", d, "", d, ""};
    const QString a = "Am Markt Nord", s = "Ostseite 12";
    QTest::newRow("25 characters") << "Am Markt Nord Ostseite 12" << QStringList{a, s, a, s, a, s};
    const QString b = "Betriebshof Nord", au = "Ausstieg hinten", l = "links bitte";
    QTest::newRow("44, six page changes") << "Betriebshof Nord Ausstieg hinten links bitte"
                                          << QStringList{b, au, au, l, au, l, au};
}

void TestWriter::pagesAlternateAndStop()
{
    QFETCH(QString, text);
    QFETCH(QStringList, shown);

    TForm1 sign;
    clearAndWrite(sign, tk::fromQString(text));
    QCOMPARE(signText(sign), shown.first());

    for (qsizetype tick = 1; tick < shown.size(); ++tick) {
        QVERIFY2(sign.Timer1->Enabled(), qPrintable(QStringLiteral("before tick %1").arg(tick)));
        sign.Timer1Timer();
        QCOMPARE(signText(sign), shown.at(tick));
    }
    QVERIFY(!sign.Timer1->Enabled());
    QVERIFY(!sign.Timer1->isTicking());
    QCOMPARE(int(sign.PageTicks), 5);

    // The page texts stay after paging ends.
    QVERIFY(!sign.FirstPage.empty());
}

void TestWriter::longSecondPageSplitsAgain()
{
    TForm1 sign;
    clearAndWrite(sign, "Betriebshof Nord Ausstieg hinten links bitte");
    sign.Timer1Timer();

    // The too-long second page is split when it comes up; the tick's own flag
    // wins over the split's, so the next change repeats the first piece.
    QCOMPARE(page(sign.FirstPage), QStringLiteral("Ausstieg hinten"));
    QCOMPARE(page(sign.SecondPage), QStringLiteral("links bitte"));
    QCOMPARE(int(sign.PageTicks), 0);
    QVERIFY(!sign.FirstPageShown);
    QVERIFY(sign.Timer1->Enabled());

    sign.Timer1Timer();
    QCOMPARE(signText(sign), QStringLiteral("Ausstieg hinten"));
    QCOMPARE(int(sign.PageTicks), 1);
    QVERIFY(sign.FirstPageShown);
}

void TestWriter::shortTextDuringPagingDoesNotStopIt()
{
    TForm1 sign;
    clearAndWrite(sign, "Hauptbahnhof Ostseite");
    sign.Timer1Timer(); // 5 s
    sign.Timer1Timer(); // 10 s
    QCOMPARE(signText(sign), QStringLiteral("Hauptbahnhof"));

    // At 12 s the control unit clears the sign and writes a short text.
    const PagingState paging(sign);
    sign.Reset1->trigger();
    QCOMPARE(litDotCount(sign), 0);
    QVERIFY(PagingState(sign) == paging);
    sign.schreib("Rathaus");
    QCOMPARE(signText(sign), QStringLiteral("Rathaus"));
    QVERIFY(PagingState(sign) == paging);
    QVERIFY(sign.Timer1->isTicking());

    // The earlier text's pages come back; the short text does not.
    const QStringList shown{"Ostseite", "Hauptbahnhof", "Ostseite"};
    for (const QString& expected : shown) {
        QVERIFY(sign.Timer1->Enabled());
        sign.Timer1Timer();
        QCOMPARE(signText(sign), expected);
    }
    QVERIFY(!sign.Timer1->Enabled());
}

void TestWriter::newLongTextTakesOver()
{
    TForm1 sign;
    clearAndWrite(sign, "Hauptbahnhof Ostseite");
    sign.Timer1Timer();
    sign.Timer1Timer();
    sign.Timer1Timer();
    QCOMPARE(int(sign.PageTicks), 3);

    // Let the running period advance, then write a new long text: the next
    // change comes when the running period is due, not a full period later.
    QTRY_VERIFY_WITH_TIMEOUT(sign.Timer1->remainingTime() <= 4800, 2000);
    clearAndWrite(sign, "Am Markt Nord Ostseite 12");
    QVERIFY(sign.Timer1->isTicking());
    QVERIFY2(sign.Timer1->remainingTime() <= 4800, qPrintable(QString::number(sign.Timer1->remainingTime())));

    QCOMPARE(signText(sign), QStringLiteral("Am Markt Nord"));
    QCOMPARE(int(sign.PageTicks), 0);
    QVERIFY(sign.FirstPageShown);

    // Five full changes of the new text follow.
    const QString a = "Am Markt Nord", s = "Ostseite 12";
    for (const QString& expected : {s, a, s, a, s}) {
        QVERIFY(sign.Timer1->Enabled());
        sign.Timer1Timer();
        QCOMPARE(signText(sign), expected);
    }
    QVERIFY(!sign.Timer1->Enabled());
}

void TestWriter::veryLongTextPagesToItsEnd_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pieces");

    // Fifteen pieces of 20 characters joined by blanks: 314 characters.
    QStringList numbered;
    for (int i = 1; i <= 15; ++i)
        numbered << numberedPiece(i);
    QTest::newRow("314 characters with blanks") << numbered.join(QLatin1Char(' ')) << numbered;

    // 300 characters without a blank: each piece is 20 characters, the 21st
    // is dropped, and the last piece holds the 6 characters left over.
    QString letters;
    for (int i = 0; i < 300; ++i)
        letters += QChar(char16_t(u'A' + i % 26));
    QStringList cut;
    for (int from = 0; from < 300; from += 21)
        cut << letters.mid(from, 20);
    QTest::newRow("300 characters without a blank") << letters << cut;
}

void TestWriter::veryLongTextPagesToItsEnd()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pieces);
    QVERIFY(text.size() > 255);

    // The first piece shows at once; every later piece is split off when it
    // comes up and is shown twice; the last two pieces then alternate until
    // the fifth change since that split.
    const qsizetype n = pieces.size();
    QStringList expected{pieces.first()};
    for (qsizetype i = 1; i < n - 2; ++i)
        expected << pieces.at(i) << pieces.at(i);
    expected << pieces.at(n - 2) << pieces.at(n - 2) << pieces.at(n - 1) << pieces.at(n - 2) << pieces.at(n - 1)
             << pieces.at(n - 2);

    auto sign = std::make_unique<TForm1>();
    clearAndWrite(*sign, tk::fromQString(text));
    QStringList shown{signText(*sign)};
    for (int tick = 0; sign->Timer1->Enabled() && tick < 1000; ++tick) {
        sign->Timer1Timer();
        shown << signText(*sign);
    }
    QCOMPARE(shown, expected);
    QVERIFY(!sign->Timer1->Enabled());
    QCOMPARE(page(sign->SecondPage), pieces.last());
}

QTEST_MAIN(TestWriter)
#include "tst_writer.moc"
