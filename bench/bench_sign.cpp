// Hot paths of the sign: what a stop call costs on the sign side (clear and
// write one page, or a two-page text with its first page change) and what a
// full repaint of the 1000 dots costs, with all 20 cells lit.

#include <Pendralumovista1.h>

#include <QAction>
#include <QImage>
#include <QTest>

class BenchSign : public QObject {
    Q_OBJECT

private slots:
    void clearAndWriteOnePage();
    void clearAndWriteTwoPages();
    void paintWholeSign();
    void paintWholeSign_data();
};

void BenchSign::clearAndWriteOnePage()
{
    TForm1 sign;
    const tk::Text text = tk::fromUtf8("Königsplatz Südseite");
    QBENCHMARK {
        sign.Reset1->trigger();
        sign.schreib(text);
    }
    QVERIFY(!sign.Timer1->Enabled());
}

void BenchSign::clearAndWriteTwoPages()
{
    TForm1 sign;
    const tk::Text text = "Betriebshof Nord Ausstieg hinten";
    QBENCHMARK {
        sign.Reset1->trigger();
        sign.schreib(text);
        sign.Timer1Timer();
    }
    QVERIFY(sign.Timer1->Enabled());
}

// "repaint": the shown window paints all its dots into its backing store
// and flushes it to the screen, as after an exposure. "grab": the same
// painting into a fresh pixmap, without the screen.
void BenchSign::paintWholeSign_data()
{
    QTest::addColumn<bool>("onScreen");
    QTest::newRow("repaint") << true;
    QTest::newRow("grab") << false;
}

void BenchSign::paintWholeSign()
{
    QFETCH(bool, onScreen);
    TForm1 sign;
    // Twenty characters: every cell has lit dots.
    sign.schreib("Hauptbahnhof 12 ABCD");
    sign.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sign));

    if (onScreen) {
        QBENCHMARK {
            sign.repaint();
        }
    } else {
        QBENCHMARK {
            const QPixmap picture = sign.grab();
            Q_UNUSED(picture);
        }
    }

    // What was painted is the lit text: the second dot of the "H"'s first
    // column is lit, its top dot dark, the gap after the cell the panel's black.
    const QImage picture = sign.grab().toImage();
    const QPoint panel = sign.GroupBox1->pos();
    QCOMPARE(picture.pixelColor(panel + QPoint(10 + 4, 10 + 8 + 4)), tk::toQColor(TForm1::LitColor));
    QCOMPARE(picture.pixelColor(panel + QPoint(10 + 4, 10 + 4)), tk::toQColor(TForm1::DarkColor));
    QCOMPARE(picture.pixelColor(panel + QPoint(10 + 5 * 8 + 2, 10 + 4)), tk::toQColor(tk::clBlack));
}

QTEST_MAIN(BenchSign)
#include "bench_sign.moc"
