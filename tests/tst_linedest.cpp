// Line and destination entry from menu page 1: the two input boxes, the
// composed line/destination text on the sign, the line label, and the
// fall-back after a stop call that returns to the new text.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <scriptedplatform.h>
#include <signreader.h>

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

namespace {

QByteArray bytes(const tk::Text& text)
{
    return QByteArray::fromStdString(text);
}

QByteArray expected(const char* utf8)
{
    return QByteArray::fromStdString(tk::fromUtf8(utf8));
}

// A scripted platform that also lets the test look at the world while an
// input box is "open".
class ObservingPlatform : public ScriptedPlatform {
public:
    std::function<void()> whileBoxOpen;

    tk::Text inputBox(const tk::Text& title, const tk::Text& prompt, const tk::Text& defaultText) override
    {
        if (whileBoxOpen)
            whileBoxOpen();
        return ScriptedPlatform::inputBox(title, prompt, defaultText);
    }
};

struct Unit {
    ObservingPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    static void click(QWidget* key) { QTest::mouseClick(key, Qt::LeftButton); }

    // Opens page 1 and presses the soft key beside "Linie / Ziel", with the
    // answers given (nullopt: Cancel).
    void enter(std::optional<tk::Text> line, std::optional<tk::Text> destination)
    {
        if (form.MenuPage != 1)
            click(form.Label5);
        QCOMPARE(int(form.MenuPage), 1);
        platform.inputAnswers = {line, destination};
        click(form.Shape8);
    }

    QByteArray signText() const { return bytes(readSign(sign)); }
};

// Answers the modal input boxes of the real Qt platform as they come up.
class BoxDriver : public QObject {
public:
    std::deque<std::function<void(QInputDialog*)>> actions;
    QStringList titles, prompts, defaults;
    QList<int> maxLengths;

    BoxDriver()
    {
        connect(&poll_, &QTimer::timeout, this, [this] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible() || actions.empty())
                return;
            titles << dialog->windowTitle();
            prompts << dialog->labelText();
            defaults << dialog->textValue();
            auto* edit = dialog->findChild<QLineEdit*>();
            maxLengths << (edit ? edit->maxLength() : -1);
            auto action = std::move(actions.front());
            actions.pop_front();
            action(dialog);
        });
        poll_.start(10);
    }

private:
    QTimer poll_;
};

} // namespace

class TestLineDestination : public QObject {
    Q_OBJECT
private slots:
    void composition_data();
    void composition();
    void bothBoxesCancelled();
    void boxesAsked();
    void signDarkWhileBoxesOpenAndOnlyNewTextAfter();
    void longTextPages();
    void menuStateUntouched_data();
    void menuStateUntouched();
    void fallBackAfterStopCallShowsNewText();
    void qtInputBox();
    void textFromDialogs();
};

void TestLineDestination::composition_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("destination");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("7") << QByteArray("7") << QByteArray("Hauptbahnhof") << QByteArray("  7 Hauptbahnhof");
    QTest::newRow("17") << QByteArray("17") << QByteArray("Hauptbahnhof") << QByteArray(" 17 Hauptbahnhof");
    QTest::newRow("117") << QByteArray("117") << QByteArray("Hauptbahnhof") << QByteArray("117 Hauptbahnhof");
    QTest::newRow("1234, not cut") << QByteArray("1234") << QByteArray("Depot") << QByteArray("1234 Depot");
    QTest::newRow("empty number") << QByteArray("") << QByteArray("Depot") << QByteArray("    Depot");
    QTest::newRow("free text number") << QByteArray("N5") << QByteArray("Flughafen") << QByteArray(" N5 Flughafen");
    QTest::newRow("blanks kept") << QByteArray(" 7") << QByteArray("Zoo ") << QByteArray("  7 Zoo ");
    QTest::newRow("umlaut") << QByteArray("9") << QByteArray("Südring") << QByteArray("  9 Südring");
    QTest::newRow("empty destination") << QByteArray("3") << QByteArray("") << QByteArray("  3 ");
}

void TestLineDestination::composition()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, destination);
    QFETCH(QByteArray, text);

    Unit u;
    u.enter(tk::fromUtf8(line.toStdString()), tk::fromUtf8(destination.toStdString()));

    const QByteArray composed = expected(text.constData());
    QCOMPARE(bytes(u.form.LineNumber), expected(line.constData()));
    QCOMPARE(bytes(u.form.Destination), expected(destination.constData()));
    QCOMPARE(bytes(u.form.LineDestinationText), composed);
    // The sign shows the text from its first cell; readSign drops trailing
    // blanks.
    QByteArray onSign = composed;
    while (onSign.endsWith(' '))
        onSign.chop(1);
    QCOMPARE(u.signText(), onSign);
    QVERIFY(!u.sign.Timer1->Enabled());
    QCOMPARE(bytes(u.form.Label8->Caption()), expected(line.constData()) + "/01");
}

void TestLineDestination::bothBoxesCancelled()
{
    Unit u;
    u.enter(std::nullopt, std::nullopt);
    QCOMPARE(bytes(u.form.LineNumber), QByteArray("1"));
    QCOMPARE(bytes(u.form.Destination), QByteArray());
    QCOMPARE(bytes(u.form.LineDestinationText), QByteArray("  1 "));
    QCOMPARE(u.signText(), QByteArray("  1"));
    QCOMPARE(bytes(u.form.Label8->Caption()), QByteArray("1/01"));
}

void TestLineDestination::boxesAsked()
{
    Unit u;
    u.enter(tk::Text("7"), tk::Text("Hauptbahnhof"));
    QCOMPARE(u.platform.inputCalls.size(), size_t(2));
    const InputBoxCall& first = u.platform.inputCalls[0];
    const InputBoxCall& second = u.platform.inputCalls[1];
    QCOMPARE(bytes(first.title), QByteArray("Liniennummer"));
    QCOMPARE(bytes(first.prompt), QByteArray("Liniennummer eingeben:"));
    QCOMPARE(bytes(first.defaultText), QByteArray("1"));
    QCOMPARE(bytes(second.title), QByteArray("Richtung/Ziel"));
    QCOMPARE(bytes(second.prompt), QByteArray("Richtung/Ziel eingeben:"));
    QCOMPARE(bytes(second.defaultText), QByteArray());

    // A second entry asks again with the same defaults, not the last answers.
    u.enter(std::nullopt, std::nullopt);
    QCOMPARE(u.platform.inputCalls.size(), size_t(4));
    QCOMPARE(bytes(u.platform.inputCalls[2].defaultText), QByteArray("1"));
    QCOMPARE(bytes(u.platform.inputCalls[3].defaultText), QByteArray());
    QCOMPARE(bytes(u.form.LineDestinationText), QByteArray("  1 "));
}

void TestLineDestination::signDarkWhileBoxesOpenAndOnlyNewTextAfter()
{
    Unit u;
    u.form.LineDestinationText = "WWWWWWWWWWWWWWWWWWWW";
    u.form.Timer2Timer(); // the old line and destination on the sign
    QVERIFY(litDotCount(u.sign) > 0);

    std::vector<int> litWhileOpen;
    u.platform.whileBoxOpen = [&u, &litWhileOpen] {
        litWhileOpen.push_back(litDotCount(u.sign));
        // The fall-back fires while the second box is open and writes the
        // previous text to the cleared sign.
        if (litWhileOpen.size() == 2)
            u.form.Timer2Timer();
    };
    u.enter(tk::Text("7"), tk::Text("Zoo"));

    QCOMPARE(litWhileOpen.size(), size_t(2));
    QCOMPARE(litWhileOpen[0], 0);
    QCOMPARE(litWhileOpen[1], 0);
    // Only the new text is lit, nothing of the W's in between.
    QCOMPARE(u.signText(), QByteArray("  7 Zoo"));
}

void TestLineDestination::longTextPages()
{
    Unit u;
    u.enter(tk::Text("12"), tk::Text("Hauptbahnhof Westseite Nord"));
    QCOMPARE(bytes(u.form.LineDestinationText), QByteArray(" 12 Hauptbahnhof Westseite Nord"));
    QVERIFY(u.sign.Timer1->Enabled());
    // The first of the two pages, broken at the last blank that fits.
    QCOMPARE(u.signText(), QByteArray(" 12 Hauptbahnhof"));
}

void TestLineDestination::menuStateUntouched_data()
{
    QTest::addColumn<bool>("delayRunning");
    QTest::newRow("delay stopped") << false;
    QTest::newRow("delay running") << true;
}

void TestLineDestination::menuStateUntouched()
{
    QFETCH(bool, delayRunning);

    Unit u;
    u.form.Stops[0] = "Alpha";
    u.form.Stops[1] = "Beta";
    u.form.StopCount = 2;
    u.form.StopsLoaded = true;
    u.form.CurrentStop = 1;
    u.form.Timer2->setEnabled(delayRunning);
    // Let a little of the delay run off, so that a restart would show.
    if (delayRunning)
        QTRY_VERIFY(u.form.Timer2->remainingTime() <= 29850);
    const int remaining = u.form.Timer2->remainingTime();

    u.enter(tk::Text("7"), tk::Text("Hauptbahnhof"));

    QCOMPARE(int(u.form.MenuPage), 1);
    QCOMPARE(int(u.form.EntryMode), 0);
    QCOMPARE(bytes(u.form.Label1->Caption()), QByteArray("Linie / Ziel"));
    QCOMPARE(bytes(u.form.Label3->Caption()), QByteArray("Haltestellensatz laden\r\rHilfe"));
    QVERIFY(!u.form.Label8->isVisibleTo(&u.form));
    QCOMPARE(u.form.Timer2->Enabled(), delayRunning);
    if (delayRunning)
        QVERIFY(u.form.Timer2->remainingTime() <= remaining);
    QCOMPARE(int(u.form.CurrentStop), 1);
    QCOMPARE(int(u.form.StopCount), 2);

    // Back in the standard view the new destination and line show.
    QTest::mouseClick(u.form.Label5, Qt::LeftButton);
    QCOMPARE(int(u.form.MenuPage), 0);
    QCOMPARE(bytes(u.form.Label1->Caption()), QByteArray("Hauptbahnhof"));
    QVERIFY(u.form.Label8->isVisibleTo(&u.form));
    QCOMPARE(bytes(u.form.Label8->Caption()), QByteArray("7/01"));
    QCOMPARE(bytes(u.form.Label3->Caption()), QByteArray("Beta\r\r"));
}

void TestLineDestination::fallBackAfterStopCallShowsNewText()
{
    Unit u;
    u.form.Stops[0] = "A";
    u.form.Stops[1] = "B";
    u.form.Stops[2] = "C";
    u.form.StopCount = 3;
    u.form.StopsLoaded = true;

    u.enter(tk::Text("7"), tk::fromUtf8("Hauptbahnhof"));
    QTest::mouseClick(u.form.Label5, Qt::LeftButton);
    QCOMPARE(int(u.form.MenuPage), 0);

    QTest::mouseClick(u.form.Shape2, Qt::LeftButton);
    QCOMPARE(int(u.form.CurrentStop), 1);
    QCOMPARE(u.signText(), QByteArray("B"));
    QVERIFY(u.form.Timer2->Enabled());

    u.form.Timer2Timer();
    QCOMPARE(u.signText(), QByteArray("  7 Hauptbahnhof"));
    QVERIFY(!u.form.Timer2->Enabled());
}

// The program's own input box: Cancel gives the default, at most 255
// characters, and a character Windows-1252 cannot hold becomes "?".
void TestLineDestination::qtInputBox()
{
    Unit u;
    QTest::mouseClick(u.form.Label5, Qt::LeftButton);

    tk::setPlatform(nullptr); // the Qt platform from here on
    BoxDriver driver;
    driver.actions.push_back([](QInputDialog* dialog) { dialog->reject(); });
    driver.actions.push_back([](QInputDialog* dialog) {
        dialog->findChild<QLineEdit*>()->setText(QString::fromUtf8("Zürich ☃ 5 €"));
        dialog->accept();
    });
    QTest::mouseClick(u.form.Shape8, Qt::LeftButton);

    QCOMPARE(driver.titles, (QStringList{"Liniennummer", "Richtung/Ziel"}));
    QCOMPARE(driver.prompts, (QStringList{"Liniennummer eingeben:", "Richtung/Ziel eingeben:"}));
    QCOMPARE(driver.defaults, (QStringList{"1", ""}));
    QCOMPARE(driver.maxLengths, (QList<int>{255, 255}));
    QCOMPARE(bytes(u.form.LineNumber), QByteArray("1"));
    QCOMPARE(bytes(u.form.Destination), expected("Zürich ? 5 €"));
    QCOMPARE(bytes(u.form.LineDestinationText), expected("  1 Zürich ? 5 €"));
    QCOMPARE(bytes(u.form.Label8->Caption()), QByteArray("1/01"));

    // A longer text is cut at 255 characters.
    driver.actions.push_back([](QInputDialog* dialog) {
        dialog->findChild<QLineEdit*>()->setText(QString(300, QLatin1Char('9')));
        dialog->accept();
    });
    driver.actions.push_back([](QInputDialog* dialog) { dialog->accept(); });
    QTest::mouseClick(u.form.Shape8, Qt::LeftButton);
    QCOMPARE(u.form.LineNumber, tk::Text(255, '9'));
    QCOMPARE(bytes(u.form.Destination), QByteArray());
    QCOMPARE(u.form.LineDestinationText, tk::Text(255, '9') + ' ');
    QVERIFY(driver.actions.empty());
}

void TestLineDestination::textFromDialogs()
{
    // Umlauts and the euro sign have their Windows-1252 bytes; what the code
    // page lacks becomes '?', one per character, also outside the BMP.
    QCOMPARE(bytes(tk::fromQString(QString::fromUtf8("Südstraße €"))),
             QByteArray("S\xFC" "dstra\xDF" "e \x80"));
    QCOMPARE(bytes(tk::fromQString(QString::fromUtf8("A→B 😀 Ł"))), QByteArray("A?B ? ?"));
}

QTEST_MAIN(TestLineDestination)
#include "tst_linedest.moc"
