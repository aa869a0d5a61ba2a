// End to end: the real program under a virtual X server, operated the way a
// person would, with xdotool clicks, the clipboard read by xclip and the sign
// read back dot by dot from a screenshot.

#include "../support/printedtail.h"
#include "../support/unuseddisplay.h"

#include <font.h>

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdlib>
#include <memory>
#include <tuple>

#include <xcb/xcb.h>

#ifndef PENDRALUMOVISTA_BINARY
#error "PENDRALUMOVISTA_BINARY must name the program under test"
#endif

namespace {
constexpr QPoint signOrigin{57, 0};
constexpr QPoint controlOrigin{268, 381};
// The control unit stands for the program in window lists; the sign stays
// out of them, but tools that list every window show its title.
const QString unitTitle = QStringLiteral("Pendralumovista");
const QString signTitle = QString::fromUtf8("Pendralumovista – Anzeige");
// How long a window may take to appear and paint on a loaded machine, as in
// a sanitizer build on two busy cores.
constexpr int startLimitMs = 60000;

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}
} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    QProcess xvfb;
    QProcess program;
    // All the program printed during the current test function, on either
    // channel, shown when the function fails (cleanup).
    QByteArray printed;
    QString display;
    QTemporaryDir scratch;

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // Without a bus of the test's own, none: never the desktop's, where
        // a simulator already running would take over.
        if (!env.contains(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")))
            env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
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

    // The whole screen, read through a connection of the test's own to the
    // X server: no program started and no picture encoded for each look,
    // which the polls below take many of. Kept while the display is the same.
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> screenConnection{nullptr, &xcb_disconnect};
    QString screenDisplay;
    QImage screenshot()
    {
        if (!screenConnection || screenDisplay != display || xcb_connection_has_error(screenConnection.get())) {
            screenConnection.reset(xcb_connect(display.toLatin1().constData(), nullptr));
            screenDisplay = display;
        }
        xcb_connection_t* x = screenConnection.get();
        if (xcb_connection_has_error(x))
            return {};
        const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
        std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
            xcb_get_image_reply(x,
                                xcb_get_image(x, XCB_IMAGE_FORMAT_Z_PIXMAP, root->root, 0, 0, root->width_in_pixels,
                                              root->height_in_pixels, ~0u),
                                nullptr),
            &std::free);
        // The virtual screens here are 24 bits deep, 32 bits a pixel: Qt's
        // RGB32 in this byte order.
        const int width = root->width_in_pixels, height = root->height_in_pixels;
        if (!reply || reply->depth != 24 || xcb_get_image_data_length(reply.get()) != width * height * 4)
            return {};
        return QImage(xcb_get_image_data(reply.get()), width, height, width * 4, QImage::Format_RGB32).copy();
    }

    // Geometry of a mapped top-level window's client area, by title or by
    // id, from xwininfo. By title among mapped windows only: Qt's hidden
    // helper windows carry the program's name too.
    QRect windowGeometry(const QString& title)
    {
        const quint64 window = visibleWindow(title);
        return window ? clientArea(window) : QRect();
    }
    QRect clientArea(quint64 window) { return geometryFrom({"-id", QString::number(window)}); }
    QRect geometryFrom(const QStringList& which)
    {
        const QString info = QString::fromLocal8Bit(run(QStringLiteral("xwininfo"), which));
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
            QTest::qWait(50);
        } while (timer.elapsed() < timeoutMs);
        qWarning() << "sign reads" << readSignFromScreen(screenshot()).value_or("<unreadable>");
        return false;
    }

    // Watches the screen for a while: the sign must read `expected` all along.
    bool signStays(const QByteArray& expected, int ms)
    {
        QElapsedTimer watch;
        watch.start();
        while (watch.elapsed() < ms) {
            const auto seen = readSignFromScreen(screenshot());
            if (seen != expected) {
                qWarning() << "sign reads" << seen.value_or("<unreadable>") << "after" << watch.elapsed() << "ms";
                return false;
            }
            QTest::qWait(100);
        }
        return true;
    }

    // No pause after a click or a key: the program takes its input in the
    // order it comes, and each check waits for the state it needs. But two
    // clicks on one key within Qt's double-click interval (400 ms) are a
    // double click: a click on the key clicked last waits until the interval
    // has passed, unless `quickRepeat` asks for a key clicked again at once.
    QPoint lastClick;
    QElapsedTimer sinceClick;
    void clickControlUnit(QPoint at, int repeat = 1, bool quickRepeat = false)
    {
        constexpr int doubleClickMs = 500;
        if (!quickRepeat && at == lastClick && sinceClick.isValid() && sinceClick.elapsed() < doubleClickMs)
            QTest::qWait(int(doubleClickMs - sinceClick.elapsed()));
        const QPoint screen = controlOrigin + at;
        run(QStringLiteral("xdotool"), {"mousemove", QString::number(screen.x()), QString::number(screen.y()), "click",
                                        "--repeat", QString::number(repeat), "--delay", "80", "1"});
        lastClick = at;
        sinceClick.start();
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
        case 'D': return {121, 209}; // "Anzeige"
        case 'R': return {466, 168}; // "M", which Return is on the keyboard
        }
        return {};
    }

    // The same keys on the keyboard, as xdotool names them: a user's guess,
    // the digits from the main row and, for 2, from the keypad.
    static const char* keyboardKey(char name)
    {
        switch (name) {
        case '1': return "1";
        case '2': return "KP_2";
        case '3': return "3";
        case '4': return "4";
        case '5': return "5";
        case '6': return "6";
        case '7': return "7";
        case '8': return "8";
        case '9': return "9";
        case '0': return "0";
        case 'C': return "c";
        case 'M': return "m";
        case 'R': return "Return";
        case '^': return "Up";
        case 'v': return "Down";
        case 'a': return "F1";
        case 'b': return "F2";
        case 'c': return "F3";
        case 'm': return "F5";
        case 'D': return "F6";
        case 'A': return "F7";
        case 'E': return "F8";
        }
        return "";
    }

    // Presses the unit's keys: clicks them, or with `byKeyboard` types their
    // keyboard keys. A "Menü" clicked within a second of the one that closed
    // the menu after a stop file was loaded would be a double click: it
    // waits out the rest of that second.
    bool byKeyboard = false;
    QElapsedTimer menuPressed;
    void press(const char* keys)
    {
        for (const char* k = keys; *k; ++k) {
            if (*k == 'm' && menuPressed.isValid()) {
                const qint64 left = 1000 - menuPressed.elapsed();
                if (left > 0)
                    QTest::qWait(int(left));
                menuPressed.invalidate();
            }
            if (byKeyboard) {
                run(QStringLiteral("xdotool"), {"key", QLatin1String(keyboardKey(*k))});
            } else if (k > keys && *k == k[-1]) {
                // A key typed twice in a row is clicked as quickly as a
                // person's fingers do it: a double click, which the unit
                // takes as two presses.
                QTest::qWait(150);
                clickControlUnit(key(*k), 1, true);
            } else {
                clickControlUnit(key(*k));
            }
        }
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

    // The window with this title has the keyboard: what is typed now goes
    // to it.
    bool hasKeyboard(const QString& title)
    {
        return QString::fromUtf8(run(QStringLiteral("xdotool"), {"getwindowfocus", "getwindowname"}).trimmed()) == title;
    }

    // Waits until the dialog with this title is up and has the keyboard.
    bool dialogTakesKeys(const QString& title, int timeoutMs = 10000)
    {
        if (QTest::qWaitFor([&] { return windowExists(title) && hasKeyboard(title); }, timeoutMs))
            return true;
        qWarning() << title << "has not got the keyboard; it is with"
                   << run(QStringLiteral("xdotool"), {"getwindowfocus", "getwindowname"}).trimmed();
        return false;
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
        QVERIFY(dialogTakesKeys(title));
        typeAndConfirm(text);
        // The file dialog may have opened its completion list for the typed
        // path; the first Return then only takes the completion.
        for (int tries = 0; tries < 3; ++tries)
            if (!QTest::qWaitFor([&] { return !windowExists(title); }, 3000))
                run(QStringLiteral("xdotool"), {"key", "Return"});
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

    // ---- Under a window manager -----------------------------------------
    // With PENDRALUMOVISTA_E2E_WM naming one (openbox, metacity), the window
    // manager runs on the virtual screen before the program starts. Stacking,
    // frames and activation are its business, so those checks need one.
    QProcess windowManager;

    bool underWindowManager() const { return windowManager.state() == QProcess::Running; }

    void startWindowManager()
    {
        const QString name = qEnvironmentVariable("PENDRALUMOVISTA_E2E_WM");
        if (name.isEmpty())
            return;
        QVERIFY2(!tool(name.toLatin1().constData()).isEmpty(), qPrintable(name + QStringLiteral(" is not installed")));
        windowManager.setProcessEnvironment(environment());
        windowManager.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // No session manager on a bare X server; metacity runs without a
        // D-Bus session as well.
        windowManager.start(tool(name.toLatin1().constData()), {"--sm-disable", "--replace"});
        QVERIFY(windowManager.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("xprop"), {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")
                                     || windowManager.state() == QProcess::NotRunning,
                                 15000);
        QVERIFY2(underWindowManager(), qPrintable(name + QStringLiteral(" ended at start")));
    }

    // The mapped windows with this title.
    QList<quint64> visibleWindows(const QString& title)
    {
        QList<quint64> ids;
        const QByteArray found = run(QStringLiteral("xdotool"),
                                     {"search", "--onlyvisible", "--name", QStringLiteral("^%1$").arg(title)});
        for (const QByteArray& id : found.split('\n'))
            if (!id.trimmed().isEmpty())
                ids << id.trimmed().toULongLong();
        return ids;
    }
    // The one mapped window with this title. The message box carries the
    // program's name like the control unit: of two, the dialog is the one
    // transient for another window, so `dialog` picks between them.
    quint64 visibleWindow(const QString& title, bool dialog = false)
    {
        QList<quint64> ids = visibleWindows(title);
        if (ids.size() > 1)
            ids.removeIf([&](quint64 id) { return property(id, "WM_TRANSIENT_FOR").isEmpty() == dialog; });
        return ids.size() == 1 ? ids.first() : 0;
    }

    // The values of a property of a window (0: the root window) as xprop
    // prints them, numbers and atom names alike; empty when it is not set.
    QStringList property(quint64 window, const char* name)
    {
        const QStringList args = window ? QStringList{"-id", QString::number(window), name} : QStringList{"-root", name};
        // "NAME(TYPE) = a, b", or "NAME(WINDOW): window id # 0x1, 0x2", or
        // "NAME:  not found."
        const QString line = QString::fromLatin1(run(QStringLiteral("xprop"), args)).trimmed();
        const qsizetype type = line.indexOf(QLatin1Char(')'));
        if (type < 0)
            return {};
        QString rest = line.mid(type + 1);
        rest.remove(QRegularExpression(QStringLiteral("^(\\s*=|:\\s*window id #)")));
        QStringList values = rest.split(QLatin1Char(','));
        for (QString& value : values)
            value = value.trimmed();
        return values;
    }

    // The managed windows, bottom to top, as the window manager stacks them.
    QList<quint64> stacking()
    {
        QList<quint64> ids;
        for (const QString& id : property(0, "_NET_CLIENT_LIST_STACKING"))
            ids << id.toULongLong(nullptr, 16);
        return ids;
    }

    // True when the window with the given title is mapped and stacked above
    // the other; polls, since the window manager restacks asynchronously.
    bool stackedAbove(const QString& upper, const QString& lower, int timeoutMs = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        do {
            const quint64 up = visibleWindow(upper, true), down = visibleWindow(lower);
            if (up && down && stacking().indexOf(up) > stacking().indexOf(down))
                return true;
            QTest::qWait(100);
        } while (timer.elapsed() < timeoutMs);
        qWarning() << upper << "is not above" << lower << stacking();
        return false;
    }

    QMargins frameExtents(quint64 window)
    {
        const QStringList v = property(window, "_NET_FRAME_EXTENTS");
        return v.size() == 4 ? QMargins(v[0].toInt(), v[2].toInt(), v[1].toInt(), v[3].toInt()) : QMargins();
    }

    void endProgram()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
    }

    // Loads the route "linie 3.txt" through the file dialog and returns to
    // the standard view, at its first stop.
    void loadRoute()
    {
        const QString path = scratch.filePath(QStringLiteral("linie 3.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Hauptbahnhof\r\nM\xfcllerstra\xdf" "e\r\nAm Markt\r\n");
        file.close();
        press("mb"); // "Menü", then "Haltestellensatz laden"
        answerDialog(QString::fromUtf8("Öffnen"), path); // Qt's file dialog, in German
        press("m");
        menuPressed.start();
    }

    void clickScreen(QPoint at)
    {
        run(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
    }

    void pressKey(const char* name)
    {
        run(QStringLiteral("xdotool"), {"key", name});
    }

    // A borderless window: no frame from the window manager, and the Motif
    // hints ask for no decoration.
    bool undecorated(const QString& title)
    {
        const quint64 window = visibleWindow(title);
        const QStringList motif = property(window, "_MOTIF_WM_HINTS");
        const bool noDecoration = motif.size() >= 3 && (motif[0].toUInt(nullptr, 16) & 2) && motif[2].toUInt(nullptr, 16) == 0;
        if (window && frameExtents(window).isNull() && noDecoration)
            return true;
        qWarning() << title << "frame" << frameExtents(window) << "Motif hints" << motif;
        return false;
    }

    // The sign above every other managed window.
    bool signOnTop()
    {
        const quint64 sign = visibleWindow(signTitle);
        if (sign && !stacking().isEmpty() && stacking().last() == sign)
            return true;
        qWarning() << "the sign is not on top:" << stacking();
        return false;
    }

    // Starts a virtual X server with one screen of the given size and
    // returns its display, or an empty text when none could be started.
    // -displayfd lets the server choose a free display and tell us which.
    // -noreset: by default an X server resets when its last client goes,
    // and refuses connections meanwhile; the short-lived xwininfo and
    // xdotool clients would make the program's own connection fail now
    // and then. A server that dies at once is simply started again.
    static QString startXvfb(QProcess& server, const QString& size)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            server.start(tool("Xvfb"), {"-displayfd", "1", "-screen", "0", size + QStringLiteral("x24"), "-nolisten",
                                        "tcp", "-noreset"});
            if (!server.waitForStarted())
                return {};
            QElapsedTimer wait;
            wait.start();
            while (!server.canReadLine() && server.state() == QProcess::Running && wait.elapsed() < 15000)
                server.waitForReadyRead(100);
            const QString candidate = QStringLiteral(":") + QString::fromLatin1(server.readLine()).trimmed();
            QProcess probe;
            probe.start(tool("xwininfo"), {"-root", "-display", candidate});
            if (server.state() == QProcess::Running && probe.waitForFinished(10000) && probe.exitCode() == 0)
                return candidate;
            qWarning() << "X server on" << candidate << "not usable:" << server.readAllStandardError();
            server.kill();
            server.waitForFinished();
        }
        return {};
    }

    // Starts the program afresh and waits until both windows are painted.
    void startProgram()
    {
        endProgram();
        program.setProcessEnvironment(environment());
        program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {});
        QVERIFY(program.waitForStarted());
        // Both windows painted: a dark dot, and the lime display.
        auto painted = [this] {
            const QImage shot = screenshot();
            return shot.pixelColor(signOrigin + QPoint(22, 22)) == QColor(128, 128, 128)
                && shot.pixelColor(controlOrigin + QPoint(80, 60)).green() > 200;
        };
        QElapsedTimer clock;
        clock.start();
        const bool up = QTest::qWaitFor([&] { return program.state() == QProcess::NotRunning || painted(); }, startLimitMs);
        QVERIFY2(program.state() == QProcess::Running, "the program ended at start");
        QVERIFY2(up, qPrintable(QStringLiteral("the windows were not painted after %1 ms").arg(clock.elapsed())));
        // A window manager takes the windows over after they are painted:
        // it frames and restacks them, and a click meanwhile may be lost.
        // They are its own once both are in its stacking list.
        if (underWindowManager()) {
            auto managed = [this] {
                const QList<quint64> ids = stacking();
                const quint64 sign = visibleWindow(signTitle), unit = visibleWindow(unitTitle);
                return sign && unit && ids.contains(sign) && ids.contains(unit);
            };
            QVERIFY2(QTest::qWaitFor(managed, startLimitMs), "the window manager has not taken both windows");
        }
    }

private slots:
    void initTestCase()
    {
        for (const char* needed : {"Xvfb", "xdotool", "xclip", "xwininfo"})
            QVERIFY2(!tool(needed).isEmpty(), qPrintable(QStringLiteral("%1 is not installed").arg(needed)));
        QVERIFY(scratch.isValid());
        connect(&program, &QProcess::readyReadStandardOutput, this, [this] { printed += program.readAllStandardOutput(); });
        connect(&program, &QProcess::readyReadStandardError, this, [this] { printed += program.readAllStandardError(); });
        display = startXvfb(xvfb, QStringLiteral("1280x800"));
        QVERIFY2(!display.isEmpty(), "no X server could be started");
        startWindowManager();
    }

    // Every case starts from a program just started, as a user finds it, so
    // that each passes alone and none depends on what an earlier one left;
    // but not the cases that start their own or none: the command line
    // without a display, and the window places, where some rows start it on
    // a screen of their own.
    void init()
    {
        byKeyboard = false;
        menuPressed.invalidate();
        sinceClick.invalidate();
        printed.clear();
        const QByteArray function(QTest::currentTestFunction());
        if (function == "withoutADisplay" || function == "windowsOpenAtTheirPlaces") {
            endProgram();
            return;
        }
        startProgram();
    }

    void cleanup()
    {
        printed += program.readAllStandardOutput();
        printed += program.readAllStandardError();
        testsupport::printTailIfFailed("the program", printed);
    }

    void cleanupTestCase()
    {
        endProgram();
        if (underWindowManager()) {
            windowManager.terminate();
            windowManager.waitForFinished();
        }
        xvfb.terminate();
        xvfb.waitForFinished();
    }

    // At 1x on a screen large enough the windows open where they were laid
    // out. Where a scale factor leaves too few logical pixels for that, each
    // is moved, not resized, until it lies wholly on the screen; the sign
    // stays at the top edge. On a screen of its own, bare.
    void windowsOpenAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("screen"); // empty: the test's own 1280 x 800
        QTest::addColumn<double>("scale");
        QTest::newRow("1280x800 at 1") << QString() << 1.0;
        QTest::newRow("1366x768 at 1.25") << QStringLiteral("1366x768") << 1.25;
        QTest::newRow("1920x1080 at 2") << QStringLiteral("1920x1080") << 2.0;
    }

    void windowsOpenAtTheirPlaces()
    {
        QFETCH(QString, screen);
        QFETCH(double, scale);
        if (!screen.isEmpty()) {
            if (underWindowManager())
                QSKIP("checked on a bare X server");
            windowsFitOnASmallScreen(screen, scale);
            return;
        }
        startProgram();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(windowGeometry(signTitle), QRect(57, 0, 926, 113));
        QCOMPARE(windowGeometry(unitTitle), QRect(268, 381, 516, 250));
        // Window lists show the unit under the program's name; the sign,
        // which has no title bar and is on top anyway, asks to be left out.
        QVERIFY(!windowExists(QStringLiteral("Form2")));
        const QStringList signState = property(visibleWindow(signTitle), "_NET_WM_STATE");
        for (const char* state : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE"})
            QVERIFY2(signState.contains(QLatin1String(state)), qPrintable(signState.join(u' ')));
        QVERIFY(!property(visibleWindow(unitTitle), "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")));
    }

    void windowsFitOnASmallScreen(const QString& size, double scale)
    {
        endProgram();
        QProcess server;
        const QString own = display;
        display = startXvfb(server, size);
        auto restore = qScopeGuard([&] {
            endProgram();
            display = own;
            server.terminate();
            server.waitForFinished();
        });
        QVERIFY2(!display.isEmpty(), "no X server could be started");
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::number(scale));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {});
        QVERIFY(program.waitForStarted());
        const QStringList sides = size.split(u'x');
        const QRect screenArea(0, 0, sides.value(0).toInt(), sides.value(1).toInt());
        auto device = [scale](QSize logical) { return QSize(qRound(logical.width() * scale), qRound(logical.height() * scale)); };
        QRect sign, unit;
        QTRY_VERIFY_WITH_TIMEOUT((sign = windowGeometry(signTitle)).isValid() && (unit = windowGeometry(unitTitle)).isValid(),
                                 startLimitMs);
        for (const auto& [name, window, logical] : {std::tuple{"sign", sign, QSize(926, 113)}, {"unit", unit, QSize(516, 250)}}) {
            QVERIFY2(screenArea.contains(window), qPrintable(QStringLiteral("%1 at %2,%3 %4x%5").arg(name)
                         .arg(window.x()).arg(window.y()).arg(window.width()).arg(window.height())));
            const QSize expected = device(logical);
            QVERIFY2(qAbs(window.width() - expected.width()) <= 1 && qAbs(window.height() - expected.height()) <= 1, name);
        }
        QCOMPARE(sign.top(), 0);

        // The help window, from the menu: its keys at the unit's scale.
        for (const char name : {'m', 'c'}) {
            const QPoint at = unit.topLeft() + key(name) * scale;
            run(QStringLiteral("xdotool"), {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
        }
        QRect help;
        QTRY_VERIFY_WITH_TIMEOUT((help = windowGeometry(QStringLiteral("Form3"))).isValid(), 10000);
        QVERIFY2(screenArea.contains(help), qPrintable(QStringLiteral("help at %1,%2 %3x%4")
                     .arg(help.x()).arg(help.y()).arg(help.width()).arg(help.height())));
    }

    // The borderless control unit moves by press and release on its face,
    // under a window manager as on the bare server; it is then put back.
    void controlUnitMovesByItsFace()
    {
        if (underWindowManager())
            QVERIFY(undecorated(unitTitle) && undecorated(signTitle));
        auto drag = [&](QPoint from, QPoint to) {
            const QPoint a = windowGeometry(unitTitle).topLeft() + from;
            const QPoint b = windowGeometry(unitTitle).topLeft() + to;
            run(QStringLiteral("xdotool"), {"mousemove", QString::number(a.x()), QString::number(a.y()), "mousedown", "1"});
            QTest::qWait(100);
            run(QStringLiteral("xdotool"), {"mousemove", QString::number(b.x()), QString::number(b.y()), "mouseup", "1"});
        };
        drag({100, 10}, {40, 30});
        QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(unitTitle), QRect(208, 401, 516, 250), 5000);
        drag({40, 30}, {100, 10});
        QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(unitTitle), QRect(268, 381, 516, 250), 5000);
    }

    void windowsCarryTheProgramIcon()
    {
        // Set just after the first frame, for task bars and window lists.
        for (const QString& title : {signTitle, unitTitle})
            QTRY_VERIFY_WITH_TIMEOUT(run(QStringLiteral("xprop"),
                                         {"-notype", "-id", QString::number(visibleWindow(title)), "_NET_WM_ICON"})
                                         .contains("Icon (64 x 64)"),
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
        loadRoute();
        press("v");
        QVERIFY(signShows("M\xfcllerstra\xdf" "e"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Müllerstraße")));
        // The legacy STRING target carries Latin-1, where the umlauts are the
        // same bytes as in Windows-1252.
        QCOMPARE(clipboard("STRING"), QByteArray("n\xe4" "chste Haltestelle: M\xfcllerstra\xdf" "e"));
    }

    // The file dialog first opens at the example stop files, beside the
    // program as they are installed: a bare file name loads one.
    void theFileDialogOpensAtTheExamples()
    {
        press("mb");
        answerDialog(QString::fromUtf8("Öffnen"), QStringLiteral("linie-7-tram.txt"));
        press("m");
        menuPressed.start();
        press("v");
        QVERIFY(signShows("K\xf6nigstra\xdf" "e"));
    }

    void downArrowOntoTheLastStopAnnouncesTheTerminus()
    {
        loadRoute();
        press("vv");
        QVERIFY(signShows("Am Markt"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Am Markt. Endstelle. Bitte aussteigen")));
    }

    void stopNumberAndTerminusKey()
    {
        loadRoute();
        press("C0M");
        QVERIFY(signShows("Hauptbahnhof"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Hauptbahnhof")));
        press("E");
        QVERIFY(signShows("Am Markt"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Am Markt")));
    }

    // Through the session bus: a second start raises the first and ends; a
    // refused load keeps the route; keys act as clicks.
    void sessionBusDoor()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        QProcess second;
        second.setProcessEnvironment(environment());
        second.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {});
        QVERIFY(second.waitForFinished(15000));
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(second.readAllStandardOutput()).count(u'\n'), 1);
        QCOMPARE(visibleWindows(unitTitle).size(), qsizetype(1));

        loadRoute();
        QDBusInterface unit(QStringLiteral("io.github.pendralumovista.Pendralumovista"),
                            QStringLiteral("/io/github/pendralumovista/Pendralumovista"),
                            QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit"));
        QSignalSpy announced(&unit, SIGNAL(Announced(QString)));
        const QDBusMessage refused = unit.call(QStringLiteral("LoadStops"), scratch.filePath(QStringLiteral("fehlt.txt")));
        QCOMPARE(refused.errorName(), QStringLiteral("io.github.pendralumovista.Pendralumovista.Error.NotFound"));
        QCOMPARE(refused.errorMessage(), QString::fromUtf8("Die Datei „fehlt.txt“ gibt es nicht."));
        const QDBusMessage unknown = unit.call(QStringLiteral("PressKey"), QStringLiteral("Enter"));
        QVERIFY2(unknown.errorMessage().contains(QStringLiteral("Endstelle")), qPrintable(unknown.errorMessage()));
        QCOMPARE(unit.call(QStringLiteral("PressKey"), QStringLiteral("down")).type(), QDBusMessage::ReplyMessage);
        const QString sentence = QString::fromUtf8("nächste Haltestelle: Müllerstraße");
        QVERIFY(clipboardIs(sentence));
        QTRY_COMPARE(announced.size(), 1);
        QCOMPARE(announced.first().first().toString(), sentence);
        QCOMPARE(unit.property("SignText").toString(), QString::fromUtf8("Müllerstraße"));

        // The command line's client: keys, then a refused file in one line.
        QProcess client;
        client.setProcessEnvironment(environment());
        client.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {"--press", "C", "0", "M"});
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitCode(), 0);
        QCOMPARE(unit.property("SignText").toString(), QStringLiteral("Hauptbahnhof"));
        client.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {"--load", "fehlt.txt"});
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitCode(), 1);
        QCOMPARE(client.readAllStandardError(), QByteArray("pendralumovista: Die Datei \xe2\x80\x9e" "fehlt.txt\xe2\x80\x9c gibt es nicht.\n"));

#ifdef PENDRALUMOVISTA_ANSAGE_BINARY
        // The companion with a simulator of its own, while this one runs:
        // its simulator hands over and ends, and it speaks for this one.
        QProcess companion;
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(PENDRALUMOVISTA_BINARY)).absolutePath()
                                               + u':' + env.value(QStringLiteral("PATH")));
        companion.setProcessEnvironment(env);
        const QString folder = scratch.filePath(QStringLiteral("ansagen-mit-simulator"));
        companion.start(QStringLiteral(PENDRALUMOVISTA_ANSAGE_BINARY), {"--mit-simulator", "--wav-dir", folder});
        QByteArray said;
        const auto showCompanion = qScopeGuard([&] {
            testsupport::printTailIfFailed("the companion", said + companion.readAll() + companion.readAllStandardError());
        });
        QTRY_VERIFY_WITH_TIMEOUT((said += companion.readAllStandardOutput()).contains("lief schon")
                                     || companion.state() == QProcess::NotRunning,
                                 15000);
        QCOMPARE(companion.state(), QProcess::Running);
        QCOMPARE(unit.call(QStringLiteral("PressKey"), QStringLiteral("down")).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QDir(folder).filePath(QStringLiteral("ansage-0001.wav"))).size() > 22050, 10000);
        companion.kill();
        companion.waitForFinished();
#endif
    }

    // A route from a timetable feed, loaded by `--gtfs … --laden` through the
    // door: the sign shows its line and destination, then its stops, and the
    // announcement names them as the feed does (ö survives, ł is replaced).
    void routeFromATimetableFeed()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        const QDir feed(scratch.filePath(QStringLiteral("feed")));
        QVERIFY(feed.mkpath(QStringLiteral(".")));
        const QList<std::pair<const char*, QByteArray>> files = {
            {"routes.txt", "route_id,route_short_name,route_type\nR,12,0\n"},
            {"trips.txt", "route_id,trip_id,direction_id,trip_headsign\nR,t,0,Bahnhof Süd\nR,u,1,Oper\n"},
            {"stops.txt", "stop_id,stop_name\no,Oper\nb,Böhmerwaldplatz\nw,Wrocławska\ns,Bahnhof Süd\n"},
            {"stop_times.txt", "trip_id,stop_id,stop_sequence\nt,o,1\nt,b,2\nt,w,3\nt,s,4\nu,s,1\nu,o,2\n"},
        };
        for (const auto& [name, bytes] : files) {
            QFile file(feed.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        const QString stopFile = scratch.filePath(QStringLiteral("linie-12.txt"));
        QProcess client;
        client.setProcessEnvironment(environment());
        client.start(QStringLiteral(PENDRALUMOVISTA_BINARY),
                     {"--gtfs", feed.path(), "--linie", "12", "--ausgabe", stopFile, "--laden"});
        QVERIFY(client.waitForFinished(15000));
        QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());
        QVERIFY(client.readAllStandardOutput().contains("Richtung 0 nach Bahnhof S\xc3\xbc" "d: 4 Haltestellen"));
        QVERIFY(signShows(" 12 Bahnhof S\xfc" "d"));
        QDBusInterface unit(QStringLiteral("io.github.pendralumovista.Pendralumovista"),
                            QStringLiteral("/io/github/pendralumovista/Pendralumovista"),
                            QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit"));
        QCOMPARE(unit.call(QStringLiteral("PressKey"), QStringLiteral("down")).type(), QDBusMessage::ReplyMessage);
        QVERIFY(signShows("B\xf6hmerwaldplatz"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Böhmerwaldplatz")));
        QCOMPARE(unit.call(QStringLiteral("PressKey"), QStringLiteral("down")).type(), QDBusMessage::ReplyMessage);
        QVERIFY(signShows("Wroclawska"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Wroclawska")));
        QCOMPARE(unit.call(QStringLiteral("PressKey"), QStringLiteral("down")).type(), QDBusMessage::ReplyMessage);
        QVERIFY(signShows("Bahnhof S\xfc" "d"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Bahnhof Süd. Endstelle. Bitte aussteigen")));
    }

    // The companion beside the program, on the same display: each stop call
    // reaches it through the clipboard and comes out as a WAV file, and a
    // text restored between the calls does not. The terminus key pressed
    // twice leaves the program at the stop it was on.
    void companionWritesEachStopCallAsWav()
    {
#ifndef PENDRALUMOVISTA_ANSAGE_BINARY
        QSKIP("the companion pendralumovista-ansage is not built (PENDRALUMOVISTA_ANSAGE=OFF)");
#else
        loadRoute();
        const QString folder = scratch.filePath(QStringLiteral("ansagen"));
        QProcess companion;
        companion.setProcessEnvironment(environment());
        companion.start(QStringLiteral(PENDRALUMOVISTA_ANSAGE_BINARY), {"--wav-dir", folder});
        // Its lines are read one by one below; what is left, and its errors.
        const auto showCompanion = qScopeGuard([&] {
            testsupport::printTailIfFailed("the companion", companion.readAll() + companion.readAllStandardError());
        });
        QTRY_VERIFY_WITH_TIMEOUT(companion.canReadLine() || companion.state() == QProcess::NotRunning, 15000);
        QVERIFY2(companion.readLine().startsWith("Wartet auf Ansagen"), companion.readAllStandardError().constData());
        QByteArray said;
        for (const char* wav : {"ansage-0001.wav", "ansage-0002.wav"}) {
            if (!said.isEmpty()) {
                // What a clipboard manager puts back: the text only, which is
                // no call and stays unspoken.
                QFile restored(scratch.filePath(QStringLiteral("wiederhergestellt.txt")));
                QVERIFY(restored.open(QIODevice::WriteOnly));
                restored.write("n\xc3\xa4" "chste Haltestelle: Gestern");
                restored.close();
                run(QStringLiteral("xclip"), {"-selection", "clipboard", "-i", restored.fileName()});
            }
            press("E");
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(QDir(folder).filePath(QLatin1String(wav))).size() > 22050, 10000);
            QTRY_VERIFY(companion.canReadLine());
            said = companion.readLine();
            QVERIFY2(said.endsWith("): " + clipboard("UTF8_STRING") + "\n"), said.constData());
        }
        QVERIFY(said.contains("nächste Haltestelle: "));
        companion.kill();
        companion.waitForFinished();
#endif
    }

    // A long name pages on the real sign, and neither a short name called
    // during that paging nor the dark sign of the line/destination entry
    // brings its pages back.
    void aLongNamesPagesNeverComeBack()
    {
        const QString path = scratch.filePath(QStringLiteral("lange Namen.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Gewerbepark An der Fl\xf6\xdf" "erstra\xdf" "e\r\nSchule\r\nEnde\r\n");
        file.close();
        press("mb");
        answerDialog(QString::fromUtf8("Öffnen"), path);
        press("mC0M"); // standard view, stop 0 by number
        QVERIFY(signShows("Gewerbepark An der"));
        QVERIFY(signShows("Fl\xf6\xdf" "erstra\xdf" "e", 8000)); // the page change, 5 s later
        // Pages that came back would do so at the long name's next page
        // change: each watch lasts until well past it, counted from the
        // moment its pages were last seen to start.
        constexpr int pageMs = 5000, lateMs = 2500;
        QElapsedTimer sincePage;
        sincePage.start();
        press("v");
        QVERIFY(signShows("Schule", 3000));
        QVERIFY(signStays("Schule", qMax(500, int(pageMs + lateMs - sincePage.elapsed()))));

        press("C0M");
        QVERIFY(signShows("Gewerbepark An der", 3000));
        sincePage.start();
        press("ma"); // "Menü", then "Linie / Ziel": the sign goes dark
        QTRY_VERIFY_WITH_TIMEOUT(windowExists(QStringLiteral("Liniennummer")), 10000);
        QVERIFY(signStays("", qMax(500, int(pageMs + lateMs - sincePage.elapsed()))));
        QVERIFY(dialogTakesKeys(QStringLiteral("Liniennummer")));
        run(QStringLiteral("xdotool"), {"key", "Escape"});
        QVERIFY(dialogTakesKeys(QStringLiteral("Richtung/Ziel")));
        run(QStringLiteral("xdotool"), {"key", "Escape"});
        QVERIFY(signShows("  1"));
    }

    // Qt's own button texts in German: the input box's cancel button reads
    // "Abbrechen", not "Cancel". Read from the screen as the width of each
    // button's dark content (icon and text), the buttons told apart by the
    // space between them; "OK" is the same in both languages. At the dialog
    // font's 12 pixels "Abbrechen" is some 40 pixels wider than "OK",
    // "Cancel" some 20. Escape then cancels both boxes: the defaults, line 1
    // and no destination, go to the sign.
    void inputBoxSpeaksGermanAndEscapeKeepsTheDefaults()
    {
        press("ma"); // "Menü", then "Linie / Ziel"
        QTRY_VERIFY_WITH_TIMEOUT(windowExists(QStringLiteral("Liniennummer")), 10000);
        const QRect box = windowGeometry(QStringLiteral("Liniennummer"));
        // The first and last dark column of each button, once the box is
        // painted: two buttons.
        auto buttons = [&] {
            const QImage shot = screenshot();
            QList<std::pair<int, int>> runs;
            for (int x = box.left(); x <= box.right(); ++x) {
                bool dark = false;
                for (int y = box.bottom() - 40; y <= box.bottom() && !dark; ++y) {
                    const QColor c = shot.pixelColor(x, y);
                    dark = c.value() < 90 && c.value() - qMin(c.red(), qMin(c.green(), c.blue())) < 40;
                }
                if (!dark)
                    continue;
                if (runs.isEmpty() || x - runs.last().second > 6)
                    runs.append({x, x});
                else
                    runs.last().second = x;
            }
            return runs;
        };
        QList<std::pair<int, int>> runs;
        QTRY_COMPARE_WITH_TIMEOUT((runs = buttons()).size(), qsizetype(2), 10000);
        const int widthOk = runs[0].second - runs[0].first + 1;
        const int widthCancel = runs[1].second - runs[1].first + 1;
        QVERIFY2(widthCancel - widthOk > 30, qPrintable(QStringLiteral("%1 %2").arg(widthOk).arg(widthCancel)));

        QVERIFY(dialogTakesKeys(QStringLiteral("Liniennummer")));
        run(QStringLiteral("xdotool"), {"key", "Escape"});
        QVERIFY(dialogTakesKeys(QStringLiteral("Richtung/Ziel")));
        run(QStringLiteral("xdotool"), {"key", "Escape"});
        QTRY_VERIFY_WITH_TIMEOUT(!windowExists(QStringLiteral("Richtung/Ziel")), 10000);
        QVERIFY(signShows("  1"));
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
        loadRoute();
        press("ma"); // "Menü", then "Linie / Ziel"
        answerDialog(QStringLiteral("Liniennummer"), QStringLiteral("7"));
        answerDialog(QStringLiteral("Richtung/Ziel"), QStringLiteral("Hauptbahnhof"));
        press("vb2M"); // page 2, "Timer Linie / Ziel einstell.", 2 seconds
        press("mE^");  // standard view, the last stop, up arrow
        QVERIFY(signShows("M\xfcllerstra\xdf" "e"));
        QVERIFY(signShows("  7 Hauptbahnhof", 8000));
    }

    // A refused scatter: its message is on the screen during the 2 s the
    // program then pauses, before the interval is asked again.
    void aRefusedScatterIsShownDuringThePause()
    {
        // Text pixels, darker than the lime, in a band of the display.
        auto textIn = [](const QImage& shot, int top, int bottom) {
            int count = 0;
            for (int y = top; y < bottom; ++y)
                for (int x = 72; x < 289; ++x)
                    count += shot.pixelColor(controlOrigin + QPoint(x, y)).green() < 180;
            return count;
        };
        press("mvc5M");  // page 2, "Timer Automatik einstellen", interval 5 s
        press("5M");     // a scatter of 5 s is refused
        // The two lines of the message, and nothing below them: the typed
        // seconds are gone. Neither the screen before nor the interval
        // question after the pause looks like this.
        auto messageShown = [&] {
            const QImage shot = screenshot();
            return textIn(shot, 60, 105) > 200 && textIn(shot, 110, 168) == 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(messageShown(), 1900);
        QTRY_VERIFY_WITH_TIMEOUT(textIn(screenshot(), 110, 168) > 0, 5000); // the interval question
    }

    void automaticAdvanceStepsByItself()
    {
        loadRoute();
        press("v");
        press("mvc2M1M"); // page 2, "Timer Automatik einstellen": 2 s, scatter 1 s
        press("m");
        const QRect autoCaption(169, 203, 22, 13);
        QCOMPARE(pixelsOfColour(autoCaption, Qt::white), 0);
        press("A");
        QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColour(autoCaption, Qt::white) > 0, 5000);
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

    // Under a window manager: the help window is an ordinary window beside
    // the others with a close button only, and the sign stays above all.
    void helpWindowBesideTheOthers()
    {
        if (!underWindowManager())
            QSKIP("stacking and frames need a window manager (PENDRALUMOVISTA_E2E_WM)");
        const QString help = QStringLiteral("Form3"), unit = unitTitle;
        QVERIFY(signOnTop());
        press("mc"); // "Menü", then "Hilfe"
        QVERIFY(stackedAbove(help, unit));
        QVERIFY(signOnTop());

        // Its frame: a title bar "Form3" with a close button; an ordinary
        // window, not a dialog transient for the program, which window
        // managers of the GNOME lineage keep above all the program's windows.
        const quint64 window = visibleWindow(help);
        QCOMPARE(property(window, "_NET_WM_WINDOW_TYPE"), QStringList{"_NET_WM_WINDOW_TYPE_NORMAL"});
        QVERIFY(property(window, "WM_TRANSIENT_FOR").isEmpty());
        QVERIFY(frameExtents(window).top() > 0);
        // Fixed size; neither maximise nor minimise is asked for (Motif
        // functions and decorations, bits 8 and 16 and bits 32 and 64).
        const QString sizeHints = QString::fromLatin1(run(QStringLiteral("xprop"), {"-id", QString::number(window), "WM_NORMAL_HINTS"}));
        QVERIFY2(sizeHints.contains(QStringLiteral("minimum size: 805 by 372"))
                     && sizeHints.contains(QStringLiteral("maximum size: 805 by 372")),
                 qPrintable(sizeHints));
        const QStringList motif = property(window, "_MOTIF_WM_HINTS");
        QCOMPARE(motif.size(), 5);
        QCOMPARE(motif[0].toUInt(nullptr, 16) & 3, 3u);
        QCOMPARE(motif[1].toUInt(nullptr, 16) & 0x18, 0u);
        QCOMPARE(motif[2].toUInt(nullptr, 16) & 0x60, 0u);
        QVERIFY(motif[2].toUInt(nullptr, 16) & 8); // the title bar
        const QStringList actions = property(window, "_NET_WM_ALLOWED_ACTIONS");
        QVERIFY2(actions.contains(QStringLiteral("_NET_WM_ACTION_CLOSE"))
                     && !actions.contains(QStringLiteral("_NET_WM_ACTION_RESIZE"))
                     && !actions.contains(QStringLiteral("_NET_WM_ACTION_MAXIMIZE_HORZ"))
                     && !actions.contains(QStringLiteral("_NET_WM_ACTION_MAXIMIZE_VERT")),
                 qPrintable(actions.join(QLatin1Char(' '))));

        // The operator drags the help window to the right, clear of the
        // unit's left part; a click on the unit's face there brings the unit
        // above it (it has not moved: press and release at one point).
        run(QStringLiteral("xdotool"), {"windowmove", "--sync", QString::number(window), "470", "220"});
        const QPoint face = controlOrigin + QPoint(100, 10);
        QTRY_VERIFY2_WITH_TIMEOUT(!clientArea(window).marginsAdded(frameExtents(window)).adjusted(-40, -40, 40, 40).contains(face),
                                  "the help window still covers the unit's face", 10000);
        clickScreen(face);
        QVERIFY(stackedAbove(unit, help));
        QVERIFY(signOnTop());

        // The unit's keys work while help is open: "Anzeige" switches its
        // caption from white to black and back.
        const QRect displaySwitch(102, 203, 38, 13);
        QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColour(displaySwitch, Qt::white) > 0, 5000); // once the unit is repainted above
        clickControlUnit({121, 209});
        QTRY_COMPARE_WITH_TIMEOUT(pixelsOfColour(displaySwitch, Qt::white), 0, 5000);
        clickControlUnit({121, 209});
        QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColour(displaySwitch, Qt::white) > 0, 5000);

        // A second "Hilfe" brings the one help window to the front; so does
        // an activation request, for either window.
        press("c");
        QVERIFY(stackedAbove(help, unit));
        QCOMPARE(visibleWindows(help).size(), qsizetype(1));
        run(QStringLiteral("xdotool"), {"windowactivate", QString::number(visibleWindow(unit))});
        QVERIFY(stackedAbove(unit, help));
        run(QStringLiteral("xdotool"), {"windowactivate", QString::number(visibleWindow(help))});
        QVERIFY(stackedAbove(help, unit));
        QVERIFY(signOnTop());

        // Its close button, the right end of the title bar, hides it; the
        // program goes on, and "Hilfe" shows it again.
        auto clickCloseButton = [&] {
            const quint64 w = visibleWindow(help);
            const QRect client = clientArea(w);
            const QMargins frame = frameExtents(w);
            clickScreen(QPoint(client.right() + frame.right() - frame.top() / 2, client.top() - frame.top() / 2));
        };
        clickCloseButton();
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(help).size(), qsizetype(0), 5000);
        QCOMPARE(program.state(), QProcess::Running);
        press("c");
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(help).size(), qsizetype(1), 5000);
        QVERIFY(stackedAbove(help, unit));
        QVERIFY(signOnTop());
        clickCloseButton();
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(help).size(), qsizetype(0), 5000);
    }

    // Under a window manager: the file dialog, the message box and the input
    // boxes come up above the control unit and take Return and Escape.
    void dialogsComeUpAboveTheUnit()
    {
        if (!underWindowManager())
            QSKIP("stacking needs a window manager (PENDRALUMOVISTA_E2E_WM)");
        const QString unit = unitTitle, open = QString::fromUtf8("Öffnen");
        const QString messageBox = QStringLiteral("Pendralumovista");
        press("mb"); // "Menü", then "Haltestellensatz laden"
        QVERIFY(stackedAbove(open, unit));
        pressKey("Escape");
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(open).size(), qsizetype(0), 5000);

        // A file that is not there: the message box, answered once with
        // Return and once with Escape.
        for (const char* answer : {"Return", "Escape"}) {
            press("b");
            answerDialog(open, scratch.filePath(QStringLiteral("fehlt.txt")));
            QVERIFY(stackedAbove(messageBox, unit));
            pressKey(answer);
            QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(messageBox).size(), qsizetype(1), 5000); // the unit alone
        }

        // Escape in the first input box keeps the line number "1"; Return in
        // the second takes the destination.
        press("a"); // "Linie / Ziel"
        QVERIFY(stackedAbove(QStringLiteral("Liniennummer"), unit));
        pressKey("Escape");
        QVERIFY(stackedAbove(QStringLiteral("Richtung/Ziel"), unit));
        typeAndConfirm(QStringLiteral("Ost"));
        QTRY_COMPARE_WITH_TIMEOUT(visibleWindows(QStringLiteral("Richtung/Ziel")).size(), qsizetype(0), 5000);
        QVERIFY(signShows("  1 Ost"));
    }

    // Without an X display: the command line answers (help and version on
    // standard output, anything else refused in one line), and a start says
    // in one line what it needs, before Qt's own, misleading message; so does
    // a start on a display where no X server answers (Qt would abort).
    void withoutADisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("waylandDisplay");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // patterns for the whole output
        QTest::addColumn<QString>("err");
        const QString start = QStringLiteral("pendralumovista: [^\n]*%1[^\n]*Xvfb :99 & DISPLAY=:99 pendralumovista\n");
        const QString refused = QStringLiteral("pendralumovista: %1 \\(pendralumovista --help zeigt die Optionen\\)\n");
        QTest::newRow("no display at all") << QStringList() << QString() << QString() << 1 << QString() << start.arg("X11-Desktop");
        QTest::newRow("Wayland without XWayland") << QStringList() << QString() << "wayland-0" << 1 << QString() << start.arg("XWayland");
        QTest::newRow("help") << QStringList{"--help"} << QString() << QString() << 0
                              << QStringLiteral("Aufruf: pendralumovista .*\n  -h, --help +zeigt .*\n  -v, --version +"
                                                ".*Optionen von Qt:\n +-platform NAME +.*\n +-display ANZEIGE +.*")
                              << QString();
        QTest::newRow("version") << QStringList{"--version"} << QString() << QString() << 0
                                 << QStringLiteral("pendralumovista " PENDRALUMOVISTA_VERSION "\n") << QString();
        QTest::newRow("unknown option") << QStringList{"--gibt-es-nicht", "--help"} << QString() << QString() << 2 << QString()
                                        << refused.arg(QStringLiteral("unbekannte Option „--gibt-es-nicht“"));
        QTest::newRow("file name") << QStringList{"linie-7-tram.txt"} << QString() << QString() << 2 << QString()
                                   << refused.arg(QStringLiteral("unerwartetes Argument „linie-7-tram.txt“"));
        QTest::newRow("Qt's option without its value") << QStringList{"-platform", "offscreen", "-display"} << QString() << QString()
                                                        << 2 << QString()
                                                        << refused.arg(QStringLiteral("„-display“ braucht einen Wert, ANZEIGE"));
        const QString unused = testsupport::unusedDisplay();
        const QString notAName = QStringLiteral("pendralumovista: „:“ ist kein Name einer X11-Anzeige[^\n]*\n");
        QTest::newRow("no X server there") << QStringList() << unused << QString() << 1 << QString()
                                           << start.arg(QStringLiteral("„%1“ ist nicht erreichbar").arg(unused));
        QTest::newRow("not a display's name") << QStringList() << ":" << QString() << 1 << QString() << notAName;
        QTest::newRow("-display with no X server there")
            << QStringList{"-display", unused} << QString() << QString() << 1 << QString()
            << start.arg(QStringLiteral("„%1“ ist nicht erreichbar").arg(unused));
    }

    void withoutADisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(QString, waylandDisplay);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        if (!waylandDisplay.isEmpty())
            env.insert(QStringLiteral("WAYLAND_DISPLAY"), waylandDisplay);
        QProcess alone;
        alone.setProcessEnvironment(env);
        alone.start(QStringLiteral(PENDRALUMOVISTA_BINARY), arguments);
        QVERIFY(alone.waitForFinished(15000));
        QCOMPARE(alone.exitStatus(), QProcess::NormalExit);
        QCOMPARE(alone.exitCode(), exitCode);
        for (const auto& [pattern, printed] : {std::pair{out, alone.readAllStandardOutput()}, {err, alone.readAllStandardError()}})
            QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern), QRegularExpression::DotMatchesEverythingOption)
                         .match(QString::fromUtf8(printed))
                         .hasMatch(),
                     printed.constData());
    }

    // The keyboard's keys do what the clicks do. Each row runs with the
    // mouse on a program just started and then with the keyboard on another,
    // the short route loaded through the bus: both must show the expected
    // sign and clipboard and leave the control unit looking the same, the
    // clock aside.
    void keysDoWhatClicksDo_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QByteArray>("sign");
        QTest::addColumn<QString>("clipboard");
        const QByteArray mueller("M\xfcllerstra\xdf" "e");
        const QString sentence = QString::fromUtf8("nächste Haltestelle: ");
        QTest::newRow("down") << QByteArray("v") << mueller << sentence + QString::fromUtf8("Müllerstraße");
        QTest::newRow("down to the terminus, up") << QByteArray("vv^") << mueller
                                                  << sentence + QString::fromUtf8("Müllerstraße");
        QTest::newRow("number, M") << QByteArray("C1M") << mueller << sentence + QString::fromUtf8("Müllerstraße");
        QTest::newRow("keypad number, Return") << QByteArray("C2R") << QByteArray("Am Markt")
                                               << sentence + QStringLiteral("Am Markt");
        QTest::newRow("number not a stop") << QByteArray("C9") << QByteArray() << QString();
        QTest::newRow("Endstelle") << QByteArray("E") << QByteArray("Am Markt") << sentence + QStringLiteral("Am Markt");
        QTest::newRow("Anzeige off, down") << QByteArray("Dv") << QByteArray() << QString();
        QTest::newRow("Auto") << QByteArray("A") << QByteArray() << QString();
        // Menü, page 2, its three soft keys' first steps.
        QTest::newRow("menu page 2, soft key 1") << QByteArray("mva") << QByteArray() << QString();
        QTest::newRow("menu page 2, soft key 3, seconds") << QByteArray("mvc37") << QByteArray() << QString();
        QTest::newRow("menu page 2, back to page 1") << QByteArray("mv^") << QByteArray() << QString();
    }

    void keysDoWhatClicksDo()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus of the test's own: run under dbus-run-session");
        QFETCH(QByteArray, keys);
        QFETCH(QByteArray, sign);
        QFETCH(QString, clipboard);
        const QString path = scratch.filePath(QStringLiteral("linie 3.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Hauptbahnhof\r\nM\xfcllerstra\xdf" "e\r\nAm Markt\r\n");
        file.close();
        // The control unit as it looks, the clock aside.
        auto unitLooks = [this] {
            QImage look = screenshot().copy(QRect(controlOrigin, QSize(516, 250)));
            QPainter(&look).fillRect(QRect(248, 135, 49, 17), Qt::black); // the clock
            return look;
        };
        QImage looks[2];
        QVariantMap states[2];
        for (const bool keyboard : {false, true}) {
            if (keyboard)
                startProgram();
            QDBusInterface unit(QStringLiteral("io.github.pendralumovista.Pendralumovista"),
                                QStringLiteral("/io/github/pendralumovista/Pendralumovista"),
                                QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit"));
            QVERIFY(unit.isValid());
            QCOMPARE(unit.call(QStringLiteral("LoadStops"), path).type(), QDBusMessage::ReplyMessage);
            byKeyboard = keyboard;
            press(keys.constData());
            QVERIFY2(signShows(sign), keyboard ? "by keyboard" : "by mouse");
            QVERIFY2(clipboardIs(clipboard), keyboard ? "by keyboard" : "by mouse");
            if (!keyboard) {
                // The clicks' result once it is all painted: the look has
                // stayed the same for half a second. Where neither the sign
                // nor the clipboard shows the keys' effect, that is also the
                // time the program has to take the last click.
                QImage settled = unitLooks();
                QElapsedTimer unchanged;
                unchanged.start();
                QVERIFY(QTest::qWaitFor(
                    [&] {
                        if (QImage now = unitLooks(); now != settled) {
                            settled = now;
                            unchanged.start();
                        }
                        return unchanged.elapsed() >= 500;
                    },
                    10000));
                looks[0] = settled;
            } else {
                // The keys' result is the same look, once painted.
                if (!QTest::qWaitFor([&] { return (looks[1] = unitLooks()) == looks[0]; }, 5000))
                    qWarning("the control unit has not come to look as after the clicks");
            }
            // What the program says of itself agrees too: menu page, timer
            // entry, switches and settings, the display's lines.
            QDBusInterface properties(unit.service(), unit.path(), QStringLiteral("org.freedesktop.DBus.Properties"));
            const QDBusMessage all = properties.call(QStringLiteral("GetAll"), unit.interface());
            QCOMPARE(all.type(), QDBusMessage::ReplyMessage);
            states[keyboard] = qdbus_cast<QVariantMap>(all.arguments().value(0));
        }
        if (looks[0] != looks[1]) {
            looks[0].save(scratch.filePath(QStringLiteral("by-mouse.png")));
            looks[1].save(scratch.filePath(QStringLiteral("by-keyboard.png")));
        }
        QVERIFY2(looks[0] == looks[1], "the control unit looks different after the keys than after the clicks");
        QVERIFY(!states[0].isEmpty());
        // Structures (the current stop) come as D-Bus arguments, which do not
        // compare; the sign and the clipboard above have shown the stop.
        for (auto it = states[0].cbegin(); it != states[0].cend(); ++it)
            if (it.value().metaType() != QMetaType::fromType<QDBusArgument>())
                QVERIFY2(states[1].value(it.key()) == it.value(), qPrintable(it.key()));
    }

    // The tram example from the keyboard alone: line and destination, the
    // stop file through the file dialog, stop calls by arrow, number and
    // terminus key, a delay setting, automatic advance.
    void tramByKeyboardAlone()
    {
        byKeyboard = true;
        press("ma");
        answerDialog(QStringLiteral("Liniennummer"), QStringLiteral("7"));
        answerDialog(QStringLiteral("Richtung/Ziel"), QString::fromUtf8("Waldschänke"));
        QVERIFY(signShows("  7 Waldsch\xe4nke"));
        press("b");
        answerDialog(QString::fromUtf8("Öffnen"), QStringLiteral(PENDRALUMOVISTA_EXAMPLES "/linie-7-tram.txt"));
        press("m");
        press("v");
        QVERIFY(signShows("K\xf6nigstra\xdf" "e"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Königstraße")));
        press("C15R");
        QVERIFY(signShows("Waldsch\xe4nke"));
        press("E");
        QVERIFY(signShows("Hauptbahnhof"));
        QVERIFY(clipboardIs(QString::fromUtf8("nächste Haltestelle: Hauptbahnhof")));
        press("mvb2Rm"); // page 2, "Timer Linie / Ziel einstell.", 2 seconds, back
        press("v");
        QVERIFY(signShows("K\xf6nigstra\xdf" "e"));
        QVERIFY(signShows("  7 Waldsch\xe4nke", 8000));
        press("A");
        QTRY_VERIFY_WITH_TIMEOUT(pixelsOfColour(QRect(169, 203, 22, 13), Qt::white) > 0, 5000);
    }

    // A key held down acts once, as a held mouse button does, while the X
    // server repeats it all the time it is held.
    void heldKeysActOnce()
    {
        loadRoute();
        QDBusInterface unit(QStringLiteral("io.github.pendralumovista.Pendralumovista"),
                            QStringLiteral("/io/github/pendralumovista/Pendralumovista"),
                            QStringLiteral("io.github.pendralumovista.Pendralumovista.ControlUnit"));
        run(QStringLiteral("xdotool"), {"windowfocus", "--sync", QString::number(visibleWindow(unitTitle))});
        bool displayOn = true;
        const auto hold = [&](const char* key) {
            run(QStringLiteral("xdotool"), {"keydown", key});
            QTest::qWait(2000); // held: two seconds of the server's repeats
            run(QStringLiteral("xdotool"), {"keyup", key});
            // F6 after it: once its switch has turned, every repeat before
            // it has been handled too.
            pressKey("F6");
            displayOn = !displayOn;
            QTRY_COMPARE_WITH_TIMEOUT(unit.property("DisplayOn").toBool(), displayOn, 10000);
        };
        hold("Down");
        QCOMPARE(unit.property("SignText").toString(), QString::fromUtf8("Müllerstraße"));
        hold("F7");
        QCOMPARE(unit.property("AutoAdvance").toBool(), true);
        QCOMPARE(unit.property("Direction").toString(), QStringLiteral("A"));
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
