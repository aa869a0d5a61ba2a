// Hot paths of the sign: what a stop call costs on the sign side (clear and
// write one page, or a two-page text with its first page change) and what a
// full repaint of the 1000 dots costs.

#include <Pendralumovista1.h>

#include <QAction>
#include <QTest>

class BenchSign : public QObject {
    Q_OBJECT

private slots:
    void clearAndWriteOnePage();
    void clearAndWriteTwoPages();
    void paintWholeSign();
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

void BenchSign::paintWholeSign()
{
    TForm1 sign;
    sign.schreib("Hauptbahnhof 12 ABCD");
    sign.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sign));
    QBENCHMARK {
        const QPixmap picture = sign.grab();
        Q_UNUSED(picture);
    }
}

QTEST_MAIN(BenchSign)
#include "bench_sign.moc"
