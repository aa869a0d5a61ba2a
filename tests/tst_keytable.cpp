// The key table names each key of the control unit once: every control is
// pressed by one key, every keyboard key presses one, a caller's spellings
// find it, and what --help and the manual pages list is what the table holds.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <commandline.h>
#include <keytable.h>
#include <scriptedplatform.h>

#include <QFile>
#include <QKeySequence>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <cstdio>

#ifndef PENDRALUMOVISTA_SOURCE_DIR
#error "PENDRALUMOVISTA_SOURCE_DIR must name the source tree"
#endif

namespace {

QString helpText()
{
    char name[] = "pendralumovista";
    char help[] = "--help";
    char* argv[] = {name, help, nullptr};
    std::FILE* out = std::tmpfile();
    std::FILE* sink = std::fopen("/dev/null", "w");
    parseCommandLine(2, argv, out, sink);
    std::fclose(sink);
    std::rewind(out);
    QByteArray text;
    char buffer[4096];
    while (const size_t n = std::fread(buffer, 1, sizeof buffer, out))
        text.append(buffer, qsizetype(n));
    std::fclose(out);
    return QString::fromUtf8(text);
}

QString manualPage(const QString& path)
{
    QFile file(QStringLiteral(PENDRALUMOVISTA_SOURCE_DIR "/") + path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // The words without the page's markup: ".BR 0 \" to \" 9" reads "0 to 9".
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QRegularExpression(QStringLiteral("^\\.[A-Z]+ ?|\\\\f[BIRP]|\""),
                                   QRegularExpression::MultilineOption));
    return text;
}

// The key names a text lists: each by itself, or inside a range ("0 bis 9",
// "soft1 to soft3") of the table's order.
QStringList namesListed(const QString& text)
{
    const QStringList all = keys::names();
    QStringList listed;
    for (const QString& name : all)
        if (QRegularExpression(QStringLiteral("(^|[\\s,(])%1([\\s,.;)]|$)").arg(QRegularExpression::escape(name)))
                .match(text)
                .hasMatch())
            listed << name;
    const QRegularExpression range(QStringLiteral("(\\S+)\\s+(?:bis|to)\\s+(\\S+?)[\\s,.;]"));
    for (auto match = range.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        const qsizetype from = all.indexOf(found.captured(1)), to = all.indexOf(found.captured(2));
        if (from >= 0 && to > from)
            for (qsizetype i = from; i <= to; ++i)
                listed << all[i];
    }
    QStringList inTableOrder;
    for (const QString& name : all)
        if (listed.contains(name))
            inTableOrder << name;
    return inTableOrder;
}

} // namespace

class TestKeyTable : public QObject {
    Q_OBJECT

private slots:
    // One key a control, one key a keyboard key, and the names find theirs.
    void eachKeyOnce()
    {
        ScriptedPlatform platform;
        TForm1 sign;
        TForm2 unit(sign);
        QSet<const tk::Control*> controls;
        QSet<int> keyboardKeys;
        for (const keys::Key& key : keys::table()) {
            const tk::Control* control = key.control(unit);
            QVERIFY2(control && !controls.contains(control), key.name);
            controls.insert(control);
            QCOMPARE(keys::forControl(unit, control), &key);
            QCOMPARE(keys::find(QString::fromUtf8(key.name)), &key);
            QCOMPARE(keys::find(QString::fromUtf8(key.name).toUpper()), &key);
            for (const Qt::Key keyboard : key.keyboard)
                if (keyboard) {
                    QVERIFY2(!keyboardKeys.contains(keyboard), key.name);
                    keyboardKeys.insert(keyboard);
                    QCOMPARE(keys::forKeyboard(keyboard), &key);
                }
        }
        QCOMPARE(keys::names().size(), qsizetype(keys::table().size()));
    }

    void spellings_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("key");
        QTest::newRow("Menue") << "Menue" << QString::fromUtf8("Menü");
        QTest::newRow("menu") << "menu" << QString::fromUtf8("Menü");
        QTest::newRow("SCHLIESSEN") << "SCHLIESSEN" << QString::fromUtf8("Schließen");
        QTest::newRow("Menüe") << QString::fromUtf8("Menüe") << QString();
        QTest::newRow("soft4") << "soft4" << QString();
        QTest::newRow("too long") << QStringLiteral("Endstelle").repeated(2) << QString();
    }

    void spellings()
    {
        QFETCH(QString, word);
        QFETCH(QString, key);
        const keys::Key* found = keys::find(word);
        QCOMPARE(found ? QString::fromUtf8(found->name) : QString(), key);
    }

    // What the help and the manual pages list for --press, and the function
    // keys they name for the keyboard, are the table's.
    void helpAndManualPagesListTheTable_data()
    {
        QTest::addColumn<QString>("text");
        // Where the keys --press takes are listed.
        QTest::addColumn<QString>("listFrom");
        QTest::addColumn<QString>("listTo");
        QTest::newRow("--help") << helpText() << "Die Tasten:" << QString::fromUtf8("Groß- und");
        QTest::newRow("man page") << manualPage(QStringLiteral("docs/man/pendralumovista.1")) << "is a key:"
                                  << "Upper and lower";
        QTest::newRow("German man page") << manualPage(QStringLiteral("docs/man/de/pendralumovista.1"))
                                         << "ist eine Taste:" << QString::fromUtf8("Groß\\- und");
    }

    void helpAndManualPagesListTheTable()
    {
        QFETCH(QString, text);
        QFETCH(QString, listFrom);
        QFETCH(QString, listTo);
        const qsizetype from = text.indexOf(listFrom), to = text.indexOf(listTo, from);
        QVERIFY2(from >= 0 && to > from, qPrintable(listFrom));
        QCOMPARE(namesListed(text.mid(from + listFrom.size(), to - from - listFrom.size())), keys::names());
        for (const keys::Key& key : keys::table())
            for (const Qt::Key keyboard : key.keyboard)
                if (keyboard >= Qt::Key_F1 && keyboard <= Qt::Key_F35) {
                    const QString name = QKeySequence(keyboard).toString(QKeySequence::PortableText);
                    QVERIFY2(QRegularExpression(QStringLiteral("\\b%1\\b").arg(name)).match(text).hasMatch(),
                             qPrintable(name));
                }
    }
};

QTEST_MAIN(TestKeyTable)
#include "tst_keytable.moc"
