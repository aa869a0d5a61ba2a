// The web sign in a real browser: Debian's Chromium without a screen loads
// the page this process serves, and its screenshots are read dot by dot and
// compared with the sign window's dots for the same texts, at several sizes
// and device pixel ratios, over a transparent background, and across a lost
// and mended connection. Chromium is driven over its DevTools protocol, a
// WebSocket that Qt's own client speaks.

#include "servedsign.h"
#include "signreader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {

// Chromium without a screen. One browser serves the whole test program; a
// page in it is driven through one DevTools session.
class Browser {
public:
    Browser() = default;
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;
    ~Browser()
    {
        socket_.abort();
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(10'000);
        }
    }

    static QString program()
    {
        for (const char* name : {"chromium", "chromium-browser"})
            if (const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name)); !path.isEmpty())
                return path;
        return {};
    }

    // Empty when the browser runs and a page is ready; else why not.
    QString start()
    {
        if (!profile_.isValid())
            return QStringLiteral("no folder for the browser's profile");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No session bus of the test's: Chromium would else start one.
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // The test runs as root in CI, where Chromium's sandbox refuses to
        // start; the pages are this test's own. The colour profile is fixed
        // so that the page's colours reach the screenshot unchanged.
        process_.start(program(), {QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                                   QStringLiteral("--disable-gpu"), QStringLiteral("--remote-debugging-port=0"),
                                   QStringLiteral("--user-data-dir=") + profile_.path(), QStringLiteral("--no-first-run"),
                                   QStringLiteral("--no-default-browser-check"),
                                   QStringLiteral("--disable-background-networking"),
                                   QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                                   QStringLiteral("--disable-extensions"), QStringLiteral("--mute-audio"),
                                   QStringLiteral("--hide-scrollbars"), QStringLiteral("--force-color-profile=srgb"),
                                   QStringLiteral("--window-size=1200,600"), QStringLiteral("about:blank")});
        // Chromium writes the port it took, and the browser's path, once it listens.
        QFile announced(profile_.filePath(QStringLiteral("DevToolsActivePort")));
        QStringList lines;
        QElapsedTimer clock;
        clock.start();
        while (lines.size() < 2 && clock.elapsed() < 60'000 && process_.state() != QProcess::NotRunning) {
            QTest::qWait(50);
            if (announced.open(QIODevice::ReadOnly)) {
                lines = QString::fromLatin1(announced.readAll()).split(u'\n', Qt::SkipEmptyParts);
                announced.close();
            }
        }
        if (lines.size() < 2)
            return QStringLiteral("Chromium did not start: ") + output();

        QObject::connect(&socket_, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
            if (message.contains(QStringLiteral("id")))
                replies_.insert(message.value(QStringLiteral("id")).toInt(), message);
        });
        socket_.open(QUrl(QStringLiteral("ws://127.0.0.1:%1%2").arg(lines[0].trimmed(), lines[1].trimmed())));
        for (clock.restart(); socket_.state() != QAbstractSocket::ConnectedState && clock.elapsed() < 20'000;)
            QTest::qWait(20);
        if (socket_.state() != QAbstractSocket::ConnectedState)
            return QStringLiteral("no DevTools connection: ") + socket_.errorString();

        const QJsonObject target = call(QStringLiteral("Target.createTarget"), {{"url", "about:blank"}}, false);
        const QJsonObject attached = call(QStringLiteral("Target.attachToTarget"),
                                          {{"targetId", target.value("targetId")}, {"flatten", true}}, false);
        session_ = attached.value(QStringLiteral("sessionId")).toString();
        if (session_.isEmpty())
            return QStringLiteral("no page: ") + error_;
        return {};
    }

    // A DevTools command, answered within 20 s; the result, or empty with
    // the error kept.
    QJsonObject call(const QString& method, const QJsonObject& parameters = {}, bool onThePage = true)
    {
        const int id = ++lastId_;
        QJsonObject message{{"id", id}, {"method", method}, {"params", parameters}};
        if (onThePage)
            message.insert(QStringLiteral("sessionId"), session_);
        socket_.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
        QElapsedTimer clock;
        clock.start();
        // The server under test answers the page on this thread too.
        while (!replies_.contains(id) && clock.elapsed() < 20'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const QJsonObject reply = replies_.take(id);
        error_ = reply.isEmpty() ? method + QStringLiteral(": no answer")
                                 : QString::fromUtf8(QJsonDocument(reply.value("error").toObject()).toJson());
        return reply.value(QStringLiteral("result")).toObject();
    }

    QJsonValue evaluate(const QString& expression)
    {
        return call(QStringLiteral("Runtime.evaluate"), {{"expression", expression}, {"returnByValue", true}})
            .value(QStringLiteral("result"))
            .toObject()
            .value(QStringLiteral("value"));
    }

    void open(const QUrl& url) { call(QStringLiteral("Page.navigate"), {{"url", url.toString()}}); }

    // The viewport in CSS pixels and the device pixel ratio, as a window of
    // that size at that zoom has them.
    void setViewport(int width, int height, double ratio)
    {
        call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
             {{"width", width}, {"height", height}, {"deviceScaleFactor", ratio}, {"mobile", false}});
    }

    void setTransparentBackground()
    {
        call(QStringLiteral("Emulation.setDefaultBackgroundColorOverride"),
             {{"color", QJsonObject{{"r", 0}, {"g", 0}, {"b", 0}, {"a", 0}}}});
    }

    // What the viewport shows, in device pixels.
    QImage screenshot()
    {
        const QJsonObject shot = call(QStringLiteral("Page.captureScreenshot"), {{"format", "png"}});
        return QImage::fromData(QByteArray::fromBase64(shot.value(QStringLiteral("data")).toString().toLatin1()), "PNG")
            .convertToFormat(QImage::Format_ARGB32);
    }

    QString output() { return QString::fromLocal8Bit(process_.readAll().right(2000)); }
    QString lastError() const { return error_; }

private:
    QProcess process_;
    QTemporaryDir profile_;
    QWebSocket socket_;
    QHash<int, QJsonObject> replies_;
    QString session_;
    QString error_;
    int lastId_ = 0;
};

enum class Dot { Dark, Lit, Neither };

bool near(QRgb pixel, QRgb colour)
{
    return qAbs(qRed(pixel) - qRed(colour)) <= 8 && qAbs(qGreen(pixel) - qGreen(colour)) <= 8
        && qAbs(qBlue(pixel) - qBlue(colour)) <= 8 && qAlpha(pixel) == 255;
}

const QRgb litRgb = qRgb(0, 255, 0);
const QRgb darkRgb = qRgb(128, 128, 128);

// Each dot of the page's screenshot at the centre the sign window gives
// that dot, scaled to the page's width.
std::vector<Dot> pageDots(const TForm1& sign, const QImage& shot)
{
    const double scale = double(shot.width()) / sign.GroupBox1->width();
    std::vector<Dot> dots;
    for (const tk::Shape* shape : sign.Dots) {
        const QPoint at = (QPointF(shape->geometry().center()) * scale).toPoint();
        const QRgb pixel = shot.valid(at) ? shot.pixel(at) : 0;
        dots.push_back(near(pixel, litRgb) ? Dot::Lit : near(pixel, darkRgb) ? Dot::Dark : Dot::Neither);
    }
    return dots;
}

std::vector<Dot> windowDots(const TForm1& sign)
{
    std::vector<Dot> dots;
    for (const tk::Shape* shape : sign.Dots)
        dots.push_back(shape->BrushColor() == TForm1::LitColor ? Dot::Lit : Dot::Dark);
    return dots;
}

// Empty when the page's 1000 dots are the window's; else the first few
// that differ, as cell/column/row.
QString differences(const std::vector<Dot>& page, const std::vector<Dot>& window)
{
    QStringList found;
    int count = 0;
    for (size_t index = 0; index < window.size(); ++index)
        if (page.size() != window.size() || page[index] != window[index]) {
            if (++count <= 5)
                found << QStringLiteral("%1/%2/%3 page %4 window %5")
                             .arg(index / font::DotsPerCell)
                             .arg(index % font::DotsPerCell / font::Rows)
                             .arg(index % font::Rows)
                             .arg(page.size() == window.size() ? int(page[index]) : -1)
                             .arg(int(window[index]));
        }
    return count ? QStringLiteral("%1 dots differ: %2").arg(count).arg(found.join(QStringLiteral(", "))) : QString();
}

} // namespace

class TestWebBrowser : public ServedSign {
    Q_OBJECT

    Browser browser;

    TForm1& window() { return windows->sign(); }

    // Screenshots until the page shows the window's dots, for at most 10 s
    // (a new page connects, the message comes, the next frame draws it).
    // Empty when it does; else how the last screenshot differed.
    QString pageShowsTheWindow()
    {
        QString difference;
        QElapsedTimer clock;
        clock.start();
        do {
            difference = differences(pageDots(window(), browser.screenshot()), windowDots(window()));
            if (difference.isEmpty())
                return {};
            QTest::qWait(50);
        } while (clock.elapsed() < 10'000);
        return QStringLiteral("the window shows \"%1\"; %2").arg(QString::fromStdString(readSign(window())), difference);
    }

    void loadStops(const QByteArray& windows1252Lines)
    {
        QFile file(scratch.filePath(QStringLiteral("route.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(windows1252Lines);
        file.close();
        QVERIFY(unit().loadStopFile(file.fileName()).empty());
        feed->changedNow();
    }

private slots:
    void initTestCase()
    {
        if (Browser::program().isEmpty())
            QSKIP("Chromium is needed (Debian's package chromium, which ./build.sh test installs)");
        const QString failure = browser.start();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }

    void init()
    {
        setUp();
        browser.setViewport(913, 300, 1);
        browser.open(sign->url());
    }

    void cleanup()
    {
        browser.open(QUrl(QStringLiteral("about:blank")));
        tearDown();
    }

    // The page shows what the window shows: a stop name on two pages and
    // the change between them, umlauts, ß, § and € (which has no glyph, so
    // its cell is dark in both), a stop called with the display switched
    // off, the dark sign while line and destination are typed, and the line
    // and destination after.
    void pageShowsTheWindowsDots()
    {
        QVERIFY2(pageShowsTheWindow().isEmpty(), qPrintable(pageShowsTheWindow()));
        loadStops("Depot\r\nHauptbahnhof Ostseite\r\n\xd6lm\xfchle S\xfc\xdf \x80 \xa7" "5\r\nZoo\r\n");

        press(&TForm2::Shape2MouseDown);
        QCOMPARE(readSign(window()), std::string("Hauptbahnhof"));
        QString difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        window().Timer1->OnTimer();
        QCOMPARE(readSign(window()), std::string("Ostseite"));
        difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        press(&TForm2::Shape2MouseDown);
        // The € cell reads as blank: it stays dark.
        QCOMPARE(readSign(window()), std::string("\xd6lm\xfchle S\xfc\xdf   \xa7" "5"));
        difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        // Display off: the call changes the stop, not the sign.
        unit().Label6Click();
        press(&TForm2::Shape2MouseDown);
        QCOMPARE(int(unit().CurrentStop), 3);
        QCOMPARE(readSign(window()), std::string("\xd6lm\xfchle S\xfc\xdf   \xa7" "5"));
        difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        unit().Label6Click();

        // Dark while the boxes are open.
        QString whileTyping = QStringLiteral("not asked");
        int litWhileTyping = -1;
        platform.whileBoxOpen = [&] {
            litWhileTyping = litDotCount(window());
            whileTyping = pageShowsTheWindow();
            platform.whileBoxOpen = nullptr;
        };
        unit().Label5Click();
        platform.inputAnswers = {tk::Text("12"), tk::Text("Zoo \xd6stlich")};
        press(&TForm2::Shape8MouseDown);
        QCOMPARE(litWhileTyping, 0);
        QVERIFY2(whileTyping.isEmpty(), qPrintable(whileTyping));
        QCOMPARE(readSign(window()), std::string(" 12 Zoo \xd6stlich"));
        difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    // At any width and device pixel ratio the sign fills the page's width in
    // its own proportions and is sharp.
    void sharpAtEveryZoom_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("ratio");
        for (const double ratio : {1.0, 1.1, 1.25, 4.0 / 3, 1.5, 1.75, 2.0, 2.5, 3.0})
            QTest::addRow("zoom %d percent", qRound(ratio * 100)) << 913 << ratio;
        QTest::addRow("wide window") << 1400 << 1.0;
        QTest::addRow("narrow window at 200 percent") << 500 << 2.0;
        QTest::addRow("tablet at 300 percent") << 1024 << 3.0;
    }
    void sharpAtEveryZoom()
    {
        QFETCH(int, width);
        QFETCH(double, ratio);
        unit().setLineDestination("7", "Hauptbahnhof \xdc" "ber");
        feed->changedNow();
        browser.setViewport(width, 400, ratio);
        const QString difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        const QSize panel = window().GroupBox1->size();
        // The canvas fills the width (up to the 2 CSS pixels it may give up
        // for whole device pixels) in the panel's proportions.
        const QJsonObject box = browser.evaluate(QStringLiteral(
            "(() => { const c = document.getElementById('sign'), r = c.getBoundingClientRect();"
            " return {width: r.width, height: r.height, deviceWidth: c.width}; })()")).toObject();
        const double cssWidth = box.value("width").toDouble();
        QVERIFY2(cssWidth > width - 2 && cssWidth <= width, qPrintable(QString::number(cssWidth)));
        QVERIFY2(qAbs(box.value("height").toDouble() - cssWidth * panel.height() / panel.width()) <= 2,
                 qPrintable(QString::number(box.value("height").toDouble())));

        // The page is the window drawn at the page's scale, pixel for
        // pixel: the same dots in the same places, each of one size with
        // sharp edges, nothing in between.
        const QImage shot = browser.screenshot();
        QCOMPARE(shot.width(), qRound(width * ratio));
        const double scale = box.value("deviceWidth").toDouble() / panel.width();
        QVERIFY(qAbs(scale * panel.width() - cssWidth * ratio) < 0.02);
        QImage drawn((QSizeF(panel) * scale).toSize(), QImage::Format_ARGB32);
        drawn.setDevicePixelRatio(scale);
        drawn.fill(Qt::black);
        window().GroupBox1->render(&drawn);
        int differing = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                differing += !near(shot.pixel(x, y), drawn.pixel(x, y));
        QCOMPARE(differing, 0);
    }

    // The overlay variant: only the dots are painted, the panel is
    // transparent, and the dots are the window's.
    void transparentVariantShowsOnlyTheDots()
    {
        unit().setLineDestination("3", "Ring");
        feed->changedNow();
        browser.setTransparentBackground();
        QUrl url = sign->url();
        url.setQuery(QStringLiteral("transparent=1"));
        browser.open(url);
        QString difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        const QImage shot = browser.screenshot();
        // Between the dots and beyond the sign, nothing is painted.
        QCOMPARE(qAlpha(shot.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(shot.pixel(5, 50)), 0);
        QCOMPARE(qAlpha(shot.pixel(shot.width() / 2, shot.height() - 1)), 0);
        const QPoint between = window().Dots[0]->geometry().topLeft() - QPoint(1, 1);
        QCOMPARE(qAlpha(shot.pixel(between)), 0);

        // Without the parameter, the same page has its black panel.
        browser.open(sign->url());
        difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QVERIFY(near(browser.screenshot().pixel(between), qRgb(0, 0, 0)));
    }

    // A page that loses the simulator says so, visibly, instead of showing a
    // frozen sign, and shows the sign again once the simulator is back.
    void aLostConnectionShowsAndMends()
    {
        unit().setLineDestination("5", "Messe");
        feed->changedNow();
        QString difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        sign.reset();
        QTRY_VERIFY_WITH_TIMEOUT(browser.evaluate(QStringLiteral("document.body.classList.contains('offline')")).toBool(),
                                 10'000);
        // The notice is on the screenshot, and no dot reads as lit or dark.
        QTest::qWait(100);
        const QImage shot = browser.screenshot();
        const QString notice = browser.evaluate(QStringLiteral("document.getElementById('status').innerText")).toString();
        QVERIFY2(notice.startsWith(QStringLiteral("Keine Verbindung")), qPrintable(notice));
        int noticePixels = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                noticePixels += near(shot.pixel(x, y), qRgb(0xff, 0xcc, 0x00));
        QVERIFY2(noticePixels > 1000, qPrintable(QString::number(noticePixels)));
        const std::vector<Dot> dimmed = pageDots(window(), shot);
        QCOMPARE(std::count(dimmed.begin(), dimmed.end(), Dot::Neither), qsizetype(dimmed.size()));

        // The simulator is back, with a new text: the page shows it, without
        // the notice.
        unit().setLineDestination("6", "Stadion");
        start();
        difference = pageShowsTheWindow();
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QVERIFY(!browser.evaluate(QStringLiteral("document.body.classList.contains('offline')")).toBool());
    }

    // A simulator that stops answering (stopped, hung, its machine asleep)
    // closes no connection: the page finds out by itself within seconds,
    // and shows the sign again once the simulator runs on.
    void aStoppedSimulatorShowsAsOffline()
    {
        QTcpServer probe; // a free port, for the program's own web sign
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 freePort = probe.serverPort();
        probe.close();
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(PENDRALUMOVISTA_BINARY), {QStringLiteral("--web=%1").arg(freePort)});
        QVERIFY2(program.waitForStarted(10'000), qPrintable(program.errorString()));
        QByteArray said;
        QTRY_VERIFY2_WITH_TIMEOUT((said += program.readAll()).contains("Das Schild im Browser"), said.constData(), 20'000);
        const auto offline = [&] {
            return browser.evaluate(QStringLiteral("document.body.classList.contains('offline')")).toBool();
        };
        browser.open(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(freePort)));
        QTRY_VERIFY_WITH_TIMEOUT(browser.evaluate(QStringLiteral("state !== null")).toBool() && !offline(), 10'000);

        ::kill(pid_t(program.processId()), SIGSTOP);
        QTRY_VERIFY_WITH_TIMEOUT(offline(), 10'000);
        ::kill(pid_t(program.processId()), SIGCONT);
        QTRY_VERIFY_WITH_TIMEOUT(!offline(), 15'000);
        program.kill();
        program.waitForFinished(10'000);
    }
};

QTEST_MAIN(TestWebBrowser)
#include "tst_webbrowser.moc"
