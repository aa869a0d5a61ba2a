// End to end: the real program under a virtual X server, operated the way a
// person would, with xdotool clicks, the clipboard read by xclip and the sign
// read back dot by dot from a screenshot.

#include <font.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#ifndef PENDRALUMOVISTA_BINARY
#error "PENDRALUMOVISTA_BINARY must name the program under test"
#endif

namespace {
constexpr QPoint signOrigin{57, 0};
constexpr QPoint controlOrigin{268, 381};

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}
} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    QProcess xvfb;
    QProcess program;
    QString display;
    QTemporaryDir scratch;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    // Runs an X client to completion and returns what it printed.
    QByteArray run(const QString& command, const QStringList& arguments, int timeoutMs = 15000)
    {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(tool(command.toLatin1().constData()), arguments);
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            qWarning("%s timed out", qPrintable(command));
        }
        if (process.exitCode() != 0 && !arguments.startsWith(QStringLiteral("search")))
            qWarning() << command << arguments << process.readAllStandardError();
        return process.readAllStandardOutput();
    }

    QImage screenshot()
    {
        QImage image;
        image.loadFromData(run(QStringLiteral("import"), {"-window", "root", "png:-"}), "PNG");
        return image;
    }

    // Geometry of the top-level window with the given title, from xwininfo.
    QRect windowGeometry(const QString& title)
    {
        const QString info = QString::fromLocal8Bit(run(QStringLiteral("xwininfo"), {"-name", title}));
        auto number = [&](const char* label) {
            QRegularExpression re(QStringLiteral("%1:\\s+(-?\\d+)").arg(QLatin1String(label)));
            return re.match(info).captured(1).toInt();
        };
        return QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                     number("Height"));
    }

    // Reads the sign from the screen: each cell's lit dots matched against
    // the font. Returns nullopt if a dot is neither lit green nor dark grey.
    std::optional<QByteArray> readSignFromScreen(const QImage& shot)
    {
        QByteArray text;
        for (int cell = 0; cell < 20; ++cell) {
            std::array<std::uint16_t, font::Columns> columns{};
            for (int column = 0; column < font::Columns; ++column)
                for (int row = 0; row < font::Rows; ++row) {
                    const QPoint centre = signOrigin + QPoint(8, 8) + QPoint(cell * 45 + column * 8 + 10 + 4, row * 8 + 10 + 4);
                    const QColor colour = shot.pixelColor(centre);
                    if (colour == QColor(0, 255, 0))
                        columns[size_t(column)] |= std::uint16_t(1u << row);
                    else if (colour != QColor(128, 128, 128))
                        return std::nullopt;
                }
            char c = columns == std::array<std::uint16_t, font::Columns>{} ? ' ' : '\x7f';
            for (const font::Glyph& glyph : font::glyphs)
                if (glyph.columns == columns)
                    c = char(glyph.code);
            text.append(c);
        }
        while (text.endsWith(' '))
            text.chop(1);
        return text;
    }

    // Polls the screen until the sign reads `expected` (Windows-1252).
    bool signShows(const QByteArray& expected, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        do {
            if (readSignFromScreen(screenshot()) == expected)
                return true;
            QTest::qWait(200);
        } while (timer.elapsed() < timeoutMs);
        qWarning() << "sign reads" << readSignFromScreen(screenshot()).value_or("<unreadable>");
        return false;
    }

    void clickControlUnit(QPoint at, int repeat = 1)
    {
        const QPoint screen = controlOrigin + at;
        run(QStringLiteral("xdotool"), {"mousemove", QString::number(screen.x()), QString::number(screen.y()), "click",
                                        "--repeat", QString::number(repeat), "--delay", "80", "1"});
        QTest::qWait(150);
    }

    // The keys of the control unit, as points in its window.
    static QPoint key(char name)
    {
        switch (name) {
        case '1': return {385, 45};
        case '2': return {427, 45};
        case '3': return {466, 45};
        case '4': return {385, 87};
        case '5': return {427, 87};
        case '6': return {466, 87};
        case '7': return {385, 128};
        case '8': return {427, 128};
        case '9': return {466, 128};
        case 'C': return {385, 168};
        case '0': return {427, 168};
        case 'M': return {466, 168};
        case '^': return {332, 72};  // up arrow
        case 'v': return {334, 151}; // down arrow
        case 'a': return {35, 66};   // soft keys, top to bottom
        case 'b': return {35, 107};
        case 'c': return {35, 148};
        case 'm': return {61, 209};  // "Menü"
        case 'A': return {180, 209}; // "Auto"
        case 'E': return {240, 209}; // "Endstelle"
        }
        return {};
    }

    void press(const char* keys)
    {
        for (const char* k = keys; *k; ++k)
            clickControlUnit(key(*k));
    }

    QByteArray clipboard(const char* target)
    {
        return run(QStringLiteral("xclip"), {"-o", "-selection", "clipboard", "-t", target});
    }

    bool clipboardIs(const QString& expected, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        do {
            if (QString::fromUtf8(clipboard("UTF8_STRING")) == expected)
                return true;
            QTest::qWait(100);
        } while (timer.elapsed() < timeoutMs);
        qWarning() << "clipboard holds" << QString::fromUtf8(clipboard("UTF8_STRING"));
        return false;
    }

    bool windowExists(const QString& title)
    {
        return !run(QStringLiteral("xdotool"), {"search", "--name", QStringLiteral("^%1$").arg(title)}).trimmed().isEmpty();
    }

    // Types into the dialog that has the keyboard focus, then confirms it.
    void typeAndConfirm(const QString& text)
    {
        run(QStringLiteral("xdotool"), {"type", "--delay", "20", text});
        run(QStringLiteral("xdotool"), {"key", "Return"});
    }

    // Answers a modal dialog with the given title by typing into it.
    void answerDialog(const QString& title, const QString& text)
    {
        QTRY_VERIFY_WITH_TIMEOUT(windowExists(title), 10000);
        QTest::qWait(300);
        typeAndConfirm(text);
        // The file dialog may have opened its completion list for the typed
        // path; the first Return then only takes the completion.
        for (int tries = 0; tries < 3 && windowExists(title); ++tries) {
            QTest::qWait(3000);
            if (windowExists(title))
                run(QStringLiteral("xdotool"), {"key", "Return"});
        }
        QTRY_VERIFY_WITH_TIMEOUT(!windowExists(title), 10000);
    }

    // Counts the pixels of a caption colour inside a key label's rectangle.
    int pixelsOfColour(QRect labelRect, QColor colour)
    {
        const QImage shot = screenshot();
        int count = 0;
        for (int y = labelRect.top(); y <= labelRect.bottom(); ++y)
            for (int x = labelRect.left(); x <= labelRect.right(); ++x)
                count += shot.pixelColor(controlOrigin + QPoint(x, y)) == colour;
        return count;
    }

private slots:
    void initTestCase()
    {
        for (const char* needed : {"Xvfb", "xdotool", "xclip", "xwininfo", "import"})
            QVERIFY2(!tool(needed).isEmpty(), qPrintable(QStringLiteral("%1 is not installed").arg(needed)));
        QVERIFY(scratch.isValid());
        // -displayfd lets the server choose a free display and tell us which.
        // -noreset: by default an X server resets when its last client goes,
        // and refuses connections meanwhile; the short-lived xwininfo and
        // xdotool clients would make the program's own connection fail now
        // and then. A server that dies at once is simply started again.
        for (int attempt = 0; attempt < 3 && display.isEmpty(); ++attempt) {
            xvfb.start(tool("Xvfb"),
                       {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp", "-noreset"});
            QVERIFY(xvfb.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine() || xvfb.state() == QProcess::NotRunning, 15000);
            const QString candidate = QStringLiteral(":") + QString::fromLatin1(xvfb.readLine()).trimmed();
            QProcess probe;
            probe.start(tool("xwininfo"), {"-root", "-display", candidate});
            if (xvfb.state() == QProcess::Running && probe.waitForFinished(10000) && probe.exitCode() == 0)
                display = candidate;
            else {
                qWarning() << "X server on" << candidate << "not usable:" << xvfb.readAllStandardError();
                xvfb.kill();
                xvfb.waitForFinished();
            }
        }
        QVERIFY2(!display.isEmpty(), "no X server could be started");

        program.setProcessEnvironment(environment());
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(windowGeometry(QStringLiteral("Form2")).width() > 0
                                     || program.state() == QProcess::NotRunning,
                                 15000);
        QVERIFY2(program.state() == QProcess::Running, "the program ended at start");
        // Wait until both windows are painted: a dark dot and the lime display.
        QTRY_VERIFY_WITH_TIMEOUT(screenshot().pixelColor(signOrigin + QPoint(22, 22)) == QColor(128, 128, 128)
                                     && screenshot().pixelColor(controlOrigin + QPoint(80, 60)).green() > 200,
                                 15000);
    }

    void cleanupTestCase()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
        xvfb.terminate();
        xvfb.waitForFinished();
    }

    void windowsOpenAtTheirPlaces()
    {
        QCOMPARE(windowGeometry(QStringLiteral("Form1")), QRect(57, 0, 926, 113));
        QCOMPARE(windowGeometry(QStringLiteral("Form2")), QRect(268, 381, 516, 250));
    }

    void windowsCarryTheProgramIcon()
    {
        // Set just after the first frame, for task bars and window lists.
        for (const char* title : {"Form1", "Form2"})
            QTRY_VERIFY_WITH_TIMEOUT(
                run(QStringLiteral("xprop"), {"-notype", "-name", title, "_NET_WM_ICON"}).contains("Icon (64 x 64)"),
                10000);
    }

    void signStartsWithAllDotsDark()
    {
        QTRY_COMPARE_WITH_TIMEOUT(readSignFromScreen(screenshot()), std::optional<QByteArray>(QByteArray()), 10000);
        const QImage shot = screenshot();
        int grey = 0;
        for (int cell = 0; cell < 20; ++cell)
            for (int column = 0; column < 5; ++column)
                for (int row = 0; row < 10; ++row) {
                    const QPoint centre = signOrigin + QPoint(8 + cell * 45 + column * 8 + 14, 8 + row * 8 + 14);
                    grey += shot.pixelColor(centre) == QColor(128, 128, 128);
                    // Each dot is a 6 x 6 square inside a black outline.
                    QCOMPARE(shot.pixelColor(centre - QPoint(4, 4)), QColor(Qt::black));
                }
        QCOMPARE(grey, 1000);
    }

    void controlUnitShowsItsSplash()
    {
        // The lime display with olive text in it: some pixels of the splash
        // lines must be darker than the lime around them.
        const QImage shot = screenshot();
        const QRect display(controlOrigin + QPoint(72, 57), QSize(217, 112));
        int olive = 0, lime = 0;
        for (int y = display.top(); y <= display.bottom(); ++y)
            for (int x = display.left(); x <= display.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                olive += qAbs(c.red() - 0x50) < 40 && qAbs(c.green() - 0x70) < 40 && qAbs(c.blue() - 0x70) < 40;
                lime += c.green() > 200 && c.blue() < 80;
            }
        QVERIFY2(olive > 300, qPrintable(QString::number(olive)));
        QVERIFY2(lime > 10000, qPrintable(QString::number(lime)));
    }

    void loadStopFileThroughTheDialogAndStepDown()
    {
        const QString path = scratch.filePath(QStringLiteral("linie 3.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Hauptbahnhof\r\nM\xfcllerstra\xdf" "e\r\nAm Markt\r\n");
        file.close();

        press("mb"); // "Menü", then "Haltestellensatz laden"
        answerDialog(QStringLiteral("Open"), path);
        press("mv"); // back to the standard view, down arrow
        QVERIFY(signShows("M\xfcllerstra\xdf" "e"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Müllerstraße")));
        // The legacy STRING target carries Latin-1, where the umlauts are the
        // same bytes as in Windows-1252.
        QCOMPARE(clipboard("STRING"), QByteArray("n\xe4" "chste Haltestelle: M\xfcllerstra\xdf" "e"));
    }

    void downArrowOntoTheLastStopAnnouncesTheTerminus()
    {
        press("v");
        QVERIFY(signShows("Am Markt"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Am Markt. Endstelle. Bitte aussteigen")));
    }

    void stopNumberAndTerminusKey()
    {
        press("C0M");
        QVERIFY(signShows("Hauptbahnhof"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Hauptbahnhof")));
        press("E");
        QVERIFY(signShows("Am Markt"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Am Markt")));
    }

    void lineAndDestinationThroughTheInputBoxes()
    {
        press("ma"); // "Menü", then "Linie / Ziel"
        answerDialog(QStringLiteral("Liniennummer"), QStringLiteral("7"));
        answerDialog(QStringLiteral("Richtung/Ziel"), QStringLiteral("Hauptbahnhof"));
        QVERIFY(signShows("  7 Hauptbahnhof"));
    }

    void delaySettingBringsLineAndDestinationBack()
    {
        press("vb2M"); // page 2, "Timer Linie / Ziel einstell.", 2 seconds
        press("m^");   // standard view, up arrow
        QVERIFY(signShows("M\xfcllerstra\xdf" "e"));
        QVERIFY(signShows("  7 Hauptbahnhof", 8000));
    }

    void automaticAdvanceStepsByItself()
    {
        press("mvc2M1M"); // page 2, "Timer Automatik einstellen": 2 s, scatter 1 s
        press("m");
        const QRect autoCaption(169, 203, 22, 13);
        QCOMPARE(pixelsOfColour(autoCaption, Qt::white), 0);
        press("A");
        QVERIFY(pixelsOfColour(autoCaption, Qt::white) > 0);
        // From the middle stop, direction A: the last stop comes next.
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Am Markt. Endstelle. Bitte aussteigen"), 10000));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Müllerstraße"), 10000));
        // A double click switches it off once and flips the direction.
        clickControlUnit(key('A'), 2);
        QTRY_COMPARE_WITH_TIMEOUT(pixelsOfColour(autoCaption, Qt::white), 0, 5000);
    }

    void helpWindowFromTheMenu()
    {
        press("mc"); // "Menü", then "Hilfe"
        QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(QStringLiteral("Form3")).size(), QSize(805, 372), 10000);
        QCOMPARE(windowGeometry(QStringLiteral("Form3")).topLeft(), QPoint(239, 220));
        // Green help text on black, at the top left of the window.
        auto greenText = [&] {
            const QImage shot = screenshot();
            int green = 0;
            for (int y = 228; y < 268; ++y)
                for (int x = 247; x < 547; ++x) {
                    const QColor c = shot.pixelColor(x, y);
                    green += c.green() > 150 && c.red() < 60 && c.blue() < 60;
                }
            return green;
        };
        QTRY_VERIFY_WITH_TIMEOUT(greenText() > 100, 5000);
    }

    // Last: "Schließen" ends the program with exit code 0, also while the
    // help window is open.
    void closeKeyEndsTheProgram()
    {
        clickControlUnit({300, 215});
        QTRY_COMPARE_WITH_TIMEOUT(program.state(), QProcess::NotRunning, 10000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_e2e.moc"
