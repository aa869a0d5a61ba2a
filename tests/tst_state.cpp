// What the simulator shows to the outside, as one value: the sign says
// which pages it shows and which one is lit (checked against its dots), the
// feed sends a change only when something differs, with what was before,
// and an announcement after the change it belongs to.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <feed.h>
#include <scriptedplatform.h>
#include <signreader.h>
#include <snapshot.h>
#include <text.h>

#include <QAccessible>
#include <QtTest>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(std::vector<tk::Text>)

namespace {

struct Unit {
    ScriptedPlatform platform;
    TForm1 sign;
    TForm2 form{sign};

    Unit()
    {
        const char* names[] = {"Aachen", "Bonn", "Celle", "Dorf"};
        for (int i = 0; i < 4; ++i)
            form.Stops[size_t(i)] = names[i];
        form.StopCount = 4;
        form.StopsLoaded = true;
    }
};

// A change to the unit as a test makes it, and the part of the snapshot it
// must change.
using Change = std::function<void(Unit&)>;
using Differs = std::function<bool(const state::Snapshot& now, const state::Snapshot& before)>;

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Differs)

class TestState : public QObject {
    Q_OBJECT

private slots:
    // Each page the sign says it has is a page its dots show in turn; the
    // page it says is lit is the one the dots show now.
    void signSaysWhatItShows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("pageChanges");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<std::vector<tk::Text>>("pages");
        QTest::addColumn<int>("shown");

        const std::vector<tk::Text> longPages{"Hauptbahnhof", "Westseite Nord"};
        QTest::newRow("dark") << QByteArray() << 0 << false << std::vector<tk::Text>{} << -1;
        QTest::newRow("short") << QByteArray("  7 Zoo") << 0 << false << std::vector<tk::Text>{"  7 Zoo"} << 0;
        QTest::newRow("long, first page") << QByteArray("Hauptbahnhof Westseite Nord") << 0 << false << longPages << 0;
        QTest::newRow("long, second page") << QByteArray("Hauptbahnhof Westseite Nord") << 1 << false << longPages << 1;
        // The fifth change is the last; the page it shows stays.
        QTest::newRow("long, paging ended") << QByteArray("Hauptbahnhof Westseite Nord") << 5 << false << longPages << 1;
        QTest::newRow("long, cleared") << QByteArray("Hauptbahnhof Westseite Nord") << 1 << true
                                       << std::vector<tk::Text>{} << -1;
        // A second page longer than the sign splits again when it is shown:
        // the sign then pages its two pieces.
        QTest::newRow("second page split again")
            << QByteArray("ABCDEFGHIJKLMNOPQRSTabcdefghijklmnopqrst0123456789") << 1 << false
            << std::vector<tk::Text>{"abcdefghijklmnopqrst", "0123456789"} << 0;
        QTest::newRow("then the last piece") << QByteArray("ABCDEFGHIJKLMNOPQRSTabcdefghijklmnopqrst0123456789") << 3
                                             << false << std::vector<tk::Text>{"abcdefghijklmnopqrst", "0123456789"}
                                             << 1;
    }

    void signSaysWhatItShows()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, pageChanges);
        QFETCH(bool, cleared);
        QFETCH(std::vector<tk::Text>, pages);
        QFETCH(int, shown);
        Unit unit;
        if (!text.isEmpty())
            unit.sign.schreib(text.toStdString());
        for (int i = 0; i < pageChanges; ++i)
            unit.sign.Timer1Timer();
        if (cleared)
            unit.sign.Reset1->trigger();

        QCOMPARE(unit.sign.pages(), pages);
        QCOMPARE(unit.sign.pageShown(), shown);
        QCOMPARE(readSign(unit.sign), shown < 0 ? std::string() : pages[size_t(shown)]);
        const state::Snapshot now = state::read(unit.sign, unit.form);
        QCOMPARE(now.signPages, pages);
        QCOMPARE(now.signPageShown, shown);
    }

    // A screen reader reads what the sign shows from the sign, which outlives
    // the control unit: the unit goes first when the program ends.
    void screenReadersReadTheSignItself()
    {
        ScriptedPlatform platform;
        TForm1 sign;
        auto unit = std::make_unique<TForm2>(sign);
        unit->setLineDestination("7", "Zoo");
        // As in the program: a screen reader first asks while both live.
        QAccessibleInterface* signView = QAccessible::queryAccessibleInterface(&sign);
        QVERIFY(signView && signView->childCount() > 0);
        QAccessibleInterface* text = signView->child(0);
        QCOMPARE(text->text(QAccessible::Description), QStringLiteral("Zielanzeiger"));
        QCOMPARE(text->text(QAccessible::Name), QStringLiteral("  7 Zoo"));
        unit.reset();
        QCOMPARE(text->text(QAccessible::Name), QStringLiteral("  7 Zoo"));
        sign.schreib("Hauptbahnhof Westseite Nord");
        QCOMPARE(text->text(QAccessible::Name), QStringLiteral("Hauptbahnhof\nWestseite Nord"));
    }

    void aChangeIsSentOnceWithWhatWasBefore_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<Differs>("differs");
        // Whether the feed hears of the change without being told.
        QTest::addColumn<bool>("heardBySelf");
        QTest::newRow("Anzeige") << Change([](Unit& u) { u.form.Label6Click(); })
                                 << Differs([](const state::Snapshot& now, const state::Snapshot& before) {
                                        return now.displayOn != before.displayOn;
                                    })
                                 << false;
        QTest::newRow("line and destination")
            << Change([](Unit& u) { u.form.setLineDestination("7", "Zoo"); })
            << Differs([](const state::Snapshot& now, const state::Snapshot& before) {
                   return now.line == "7" && before.line.empty() && now.destination == "Zoo"
                          && now.signText == "  7 Zoo" && before.signText == "Hauptbahnhof\nWestseite Nord";
               })
            << false;
        QTest::newRow("arrow down") << Change([](Unit& u) { u.form.Shape2MouseDown(); })
                                    << Differs([](const state::Snapshot& now, const state::Snapshot& before) {
                                           return now.currentStop == 1 && before.currentStop == 0
                                                  && now.currentStopName == "Bonn" && now.signPages != before.signPages;
                                       })
                                    << false;
        // The sign pages by itself; the feed hears each page change.
        QTest::newRow("page change") << Change([](Unit& u) { u.sign.Timer1Timer(); })
                                     << Differs([](const state::Snapshot& now, const state::Snapshot& before) {
                                            return now.signPageShown == 1 && before.signPageShown == 0;
                                        })
                                     << true;
    }

    void aChangeIsSentOnceWithWhatWasBefore()
    {
        QFETCH(Change, change);
        QFETCH(Differs, differs);
        QFETCH(bool, heardBySelf);
        Unit unit;
        unit.sign.schreib("Hauptbahnhof Westseite Nord");
        state::Feed feed(unit.sign, unit.form);
        std::vector<std::pair<state::Snapshot, state::Snapshot>> sent;
        connect(&feed, &state::Feed::changed, this,
                [&](const state::Snapshot& now, const state::Snapshot& before) { sent.emplace_back(now, before); });

        // Nothing differs: nothing is sent.
        feed.changedNow();
        QCOMPARE(sent.size(), size_t(0));

        const state::Snapshot before = state::read(unit.sign, unit.form);
        change(unit);
        QCOMPARE(sent.size(), size_t(heardBySelf ? 1 : 0));
        feed.changedNow();
        QCOMPARE(sent.size(), size_t(1));
        QVERIFY(sent[0].second == before);
        QVERIFY(sent[0].first == state::read(unit.sign, unit.form));
        QVERIFY(sent[0].first == feed.current());
        QVERIFY(differs(sent[0].first, sent[0].second));

        // Told again without a change: still one.
        feed.changedNow();
        QCOMPARE(sent.size(), size_t(1));
    }

    // The unit tells of a stop call after the handler; the announcement made
    // inside it goes out after the change, once.
    void theAnnouncementFollowsItsChange()
    {
        Unit unit;
        state::Feed feed(unit.sign, unit.form);
        QStringList heard;
        connect(&feed, &state::Feed::changed, this, [&](const state::Snapshot& now, const state::Snapshot&) {
            heard << QStringLiteral("changed to ") + tk::toQString(now.currentStopName);
        });
        connect(&feed, &state::Feed::announced, this,
                [&](const tk::Text& sentence) { heard << tk::toQString(sentence); });
        unit.form.Shape2MouseDown();
        QVERIFY(heard.isEmpty());
        emit unit.form.stateChanged(); // as the face does after a click
        QCOMPARE(heard, QStringList({QStringLiteral("changed to Bonn"), QString::fromUtf8("nächste Haltestelle: Bonn")}));
        // The announcement's own reminder, on the event loop, repeats nothing.
        QTest::qWait(20);
        QCOMPARE(heard.size(), 2);

        // Where nothing tells of the change after the handler (a call from
        // outside), the announcement sends it itself, on the event loop.
        heard.clear();
        unit.form.Shape2MouseDown();
        QVERIFY(heard.isEmpty());
        QTRY_COMPARE(heard, QStringList({QStringLiteral("changed to Celle"), QString::fromUtf8("nächste Haltestelle: Celle")}));
    }
};

QTEST_MAIN(TestState)
#include "tst_state.moc"
