// Line and destination entry from menu page 1: the two input boxes, the
// composed line/destination text on the sign, the line label, and the
// fall-back after a stop call that returns to the new text.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <mouse.h>
#include <signreader.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    static void click(tk::Control* key) { clickControl(key); }

    // Opens page 1 and presses the soft key beside "Linie / Ziel" with the
    // answers given in UTF-8; a null answer stands for Cancel.
    void enter(const QByteArray& line, const QByteArray& destination)
    {
        auto answer = [](const QByteArray& utf8) -> std::optional<tk::Text> {
            return utf8.isNull() ? std::nullopt : std::optional(tk::fromUtf8(utf8.toStdString()));
        };
        click(form.Label5);
        platform.inputAnswers = {answer(line), answer(destination)};
        click(form.Shape8);
    }

    QByteArray signText() const { return bytes(readSign(sign)); }
};

} // namespace

class TestLineDestination : public QObject {
    Q_OBJECT
private slots:
    void composition_data();
    void composition();
    void restOfUnitUntouched_data();
    void restOfUnitUntouched();
    void withoutTheBoxes();
    void qtInputBox();
};

void TestLineDestination::composition_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("destination");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("onSign"); // the first page, trailing blanks dropped
    QTest::addColumn<QByteArray>("label8");

    auto row = [](const char* name, QByteArray line, QByteArray destination, QByteArray text, QByteArray onSign,
                  QByteArray label8) { QTest::newRow(name) << line << destination << text << onSign << label8; };
    row("7", "7", "Hauptbahnhof", "  7 Hauptbahnhof", "  7 Hauptbahnhof", "7/01");
    row("17", "17", "Hauptbahnhof", " 17 Hauptbahnhof", " 17 Hauptbahnhof", "17/01");
    row("117", "117", "Hauptbahnhof", "117 Hauptbahnhof", "117 Hauptbahnhof", "117/01");
    row("1234, not cut", "1234", "Depot", "1234 Depot", "1234 Depot", "1234/01");
    row("empty number", "", "Depot", "    Depot", "    Depot", "/01");
    row("free text, blanks kept", " N", "Zoo ", "  N Zoo ", "  N Zoo", " N/01");
    row("umlaut", "9", "Südring", "  9 Südring", "  9 Südring", "9/01");
    row("both cancelled", QByteArray(), QByteArray(), "  1 ", "  1", "1/01");
    row("two pages", "12", "Hauptbahnhof Westseite Nord", " 12 Hauptbahnhof Westseite Nord", " 12 Hauptbahnhof",
        "12/01");
}

void TestLineDestination::composition()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, destination);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, onSign);
    QFETCH(QByteArray, label8);

    // The former line and destination pages on the sign, and its fall-back
    // fires again while the second box is open.
    Unit u;
    u.form.LineDestinationText = "WWWWWWWWWW WWWWWWWWWW";
    u.form.Timer2Timer();
    std::vector<int> litWhileOpen;
    u.platform.whileBoxOpen = [&u, &litWhileOpen] {
        // A page change still due would light the former text again.
        litWhileOpen.push_back(u.sign.Timer1->isTicking() ? -1 : litDotCount(u.sign));
        if (litWhileOpen.size() == 2)
            u.form.Timer2Timer();
    };
    u.enter(line, destination);

    // Dark while the boxes ask; then the new text alone, nothing of the W's.
    QCOMPARE(litWhileOpen, (std::vector<int>{0, 0}));
    QCOMPARE(u.form.LineDestinationText, tk::fromUtf8(text.toStdString()));
    QCOMPARE(u.signText(), bytes(tk::fromUtf8(onSign.toStdString())));
    QCOMPARE(u.sign.Timer1->Enabled(), text.size() > 20);
    QCOMPARE(bytes(u.form.Label8->Caption()), label8);
}

void TestLineDestination::restOfUnitUntouched_data()
{
    QTest::addColumn<bool>("delayRunning");
    QTest::addColumn<int>("dueInBox"); // the box open when the delay runs out; 0: it does not
    QTest::newRow("delay stopped") << false << 0;
    QTest::newRow("delay running") << true << 0;
    QTest::newRow("delay due in the first box") << true << 1;
    QTest::newRow("delay due in the second box") << true << 2;
}

// The entry leaves the menu, the stops, the delay, the direction and the
// automatic advance as they are; the new texts show on return to the
// standard view and after the next stop call. The sign is dark while the
// boxes are open, also when the delay runs out meanwhile: it would show the
// route being replaced.
void TestLineDestination::restOfUnitUntouched()
{
    QFETCH(bool, delayRunning);
    QFETCH(int, dueInBox);

    Unit u;
    u.form.setLineDestination("7", "Alt");
    for (const char* name : {"Alpha", "Beta", "Gamma"})
        u.form.Stops[u.form.StopCount++] = name;
    u.form.StopsLoaded = true;
    u.form.CurrentStop = 1;
    u.form.Label7DblClick(); // direction B
    u.form.Label7Click();    // automatic advance on
    const int stepInterval = u.form.Timer3->Interval();
    u.form.Timer2->setEnabled(delayRunning);
    // Let a little of the delay run off, so that a restart would show.
    if (delayRunning)
        QTRY_VERIFY(u.form.Timer2->remainingTime() <= 29850);
    const int remaining = u.form.Timer2->remainingTime();

    std::vector<int> litWhileOpen;
    u.platform.whileBoxOpen = [&u, &litWhileOpen, dueInBox] {
        if (int(litWhileOpen.size()) + 1 == dueInBox)
            u.form.Timer2Timer();
        litWhileOpen.push_back(litDotCount(u.sign));
    };
    u.enter("7", "Hauptbahnhof");
    QCOMPARE(litWhileOpen, (std::vector<int>{0, 0}));
    QCOMPARE(u.signText(), QByteArray("  7 Hauptbahnhof"));
    QCOMPARE(int(u.form.MenuPage), 1);
    QCOMPARE(bytes(u.form.Label1->Caption()), QByteArray("Linie / Ziel"));
    QCOMPARE(bytes(u.form.Label3->Caption()), QByteArray("Haltestellensatz laden\r\rHilfe"));
    QVERIFY(!u.form.Label8->isVisible());
    QCOMPARE(u.form.Timer2->Enabled(), delayRunning && dueInBox == 0);
    if (u.form.Timer2->Enabled())
        QVERIFY(u.form.Timer2->remainingTime() <= remaining);
    QVERIFY(u.form.DirectionB);
    QCOMPARE(bytes(u.form.Label10->Caption()), QByteArray("B"));
    QVERIFY(u.form.autoAdvanceOn() && u.form.Timer3->Enabled());
    QCOMPARE(u.form.Timer3->Interval(), stepInterval);

    Unit::click(u.form.Label5);
    QCOMPARE(bytes(u.form.Label1->Caption()), QByteArray("Hauptbahnhof"));
    QVERIFY(u.form.Label8->isVisible());
    QCOMPARE(bytes(u.form.Label8->Caption()), QByteArray("7/01"));

    Unit::click(u.form.Shape2);
    QCOMPARE(u.signText(), QByteArray("Gamma"));
    u.form.Timer2Timer();
    QCOMPARE(u.signText(), QByteArray("  7 Hauptbahnhof"));
}

// As a caller on the session bus enters them: the boxes' texts without the
// boxes, and the sign read back as text, the two pages while it pages and
// the page that stays once the paging has ended, as its dots show.
void TestLineDestination::withoutTheBoxes()
{
    Unit u;
    u.form.setLineDestination("12", "Hauptbahnhof Westseite Nord");
    QCOMPARE(bytes(u.form.Label8->Caption()), QByteArray("12/01"));
    QCOMPARE(u.signText(), QByteArray(" 12 Hauptbahnhof"));
    QCOMPARE(bytes(u.sign.shownText()), QByteArray(" 12 Hauptbahnhof\nWestseite Nord"));
    for (int change = 0; change < 5; ++change)
        u.sign.Timer1Timer();
    QCOMPARE(u.signText(), QByteArray("Westseite Nord"));
    QCOMPARE(bytes(u.sign.shownText()), QByteArray("Westseite Nord"));
    u.form.setLineDestination("7", "Zoo");
    QCOMPARE(bytes(u.sign.shownText()), QByteArray("  7 Zoo"));
}

// The program's own input box, answered as it comes up: the texts asked,
// Cancel gives the default, at most 255 characters, and a character
// Windows-1252 cannot hold becomes "?".
void TestLineDestination::qtInputBox()
{
    Unit u;
    Unit::click(u.form.Label5);
    tk::setPlatform(nullptr); // the Qt platform from here on

    // nullopt: Cancel; a null text: "OK" on the default.
    QList<std::optional<QString>> answers{QString(300, QLatin1Char('9')), QString::fromUtf8("Zürich ☃ 5 €"),
                                          std::nullopt, QString()};
    QStringList asked; // title, prompt, default and length limit of each box
    QTimer poll;
    connect(&poll, &QTimer::timeout, &poll, [&answers, &asked] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || answers.isEmpty())
            return;
        auto* edit = dialog->findChild<QLineEdit*>();
        asked << QStringLiteral("%1|%2|%3|%4")
                     .arg(dialog->windowTitle(), dialog->labelText(), dialog->textValue())
                     .arg(edit->maxLength());
        const std::optional<QString> answer = answers.takeFirst();
        if (answer && !answer->isNull())
            edit->setText(*answer);
        answer ? dialog->accept() : dialog->reject();
    });
    poll.start(10);

    Unit::click(u.form.Shape8);
    QCOMPARE(u.form.LineNumber, tk::Text(255, '9'));
    QCOMPARE(u.form.Destination, tk::fromUtf8("Zürich ? 5 €"));

    // The second time the boxes offer their defaults again, not the last
    // answers.
    Unit::click(u.form.Shape8);
    QCOMPARE(u.form.LineNumber, tk::Text("1"));
    QCOMPARE(u.form.Destination, tk::Text());
    const QString line = QStringLiteral("Liniennummer|Liniennummer eingeben:|1|255");
    const QString destination = QStringLiteral("Richtung/Ziel|Richtung/Ziel eingeben:||255");
    QCOMPARE(asked, (QStringList{line, destination, line, destination}));
}

QTEST_MAIN(TestLineDestination)
#include "tst_linedest.moc"
