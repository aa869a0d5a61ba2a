#include "startup.h"

#include <controls.h>
#include <placement.h>
#include <platform.h>

#include <QApplication>
#include <QDir>
#include <QtGui/qguiapplication_platform.h>
#include <QEvent>
#include <QIcon>
#include <QLocale>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <array>
#include <string>
#include <cstring>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include <xcb/xcb.h>

namespace {
bool environmentSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt takes its options with one dash or two: "-platform NAME", "--platform NAME".
int onCommandLine(int argc, char** argv, const char* option)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], option) == 0 || (argv[i][0] == '-' && std::strcmp(argv[i] + 1, option) == 0))
            return i;
    return 0;
}

// The connection that found the X server there, open until the application
// has its own: a server started without -noreset (Xvfb's default, as under
// xvfb-run) resets when its last client leaves, and refuses connections
// meanwhile.
xcb_connection_t* displayProbe = nullptr;

// Whether an X server answers at `display`. Qt's platform plugin, given a
// display it cannot reach, ends the program with an abort (status 134) and
// a message of its own in English; this asks first, on a connection of its
// own.
bool reachable(const char* display)
{
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const int error = xcb_connection_has_error(connection);
    if (error == 0) {
        displayProbe = connection;
        return true;
    }
    xcb_disconnect(connection);
    // The name as given, bounded and without control characters.
    std::string name(display, std::min<std::size_t>(std::strlen(display), 80));
    std::replace_if(name.begin(), name.end(), [](char c) { return uchar(c) < 0x20 || c == 0x7f; }, '?');
    std::fprintf(stderr,
                 error == XCB_CONN_CLOSED_PARSE_ERR
                     ? "pendralumovista: „%s“ ist kein Name einer X11-Anzeige (so etwa :0 oder :1): DISPLAY oder "
                       "-display richtig setzen.\n"
                     : "pendralumovista: Die X11-Anzeige „%s“ ist nicht erreichbar (kein X-Server dort, oder er "
                       "lässt dieses Programm nicht zu): auf einem laufenden X11-Desktop starten oder auf einem "
                       "virtuellen X-Server, z. B. Xvfb :99 & DISPLAY=:99 pendralumovista\n",
                 name.c_str());
    return false;
}
} // namespace

bool prepareWindowSystem(int argc, char** argv)
{
    if (environmentSet("QT_QPA_PLATFORM") || onCommandLine(argc, argv, "-platform"))
        return true;
    // "-display NAME" names the X display as DISPLAY does (the command line
    // has made sure that it has a value).
    const int displayOption = onCommandLine(argc, argv, "-display");
    if (environmentSet("DISPLAY") || (displayOption && displayOption + 1 < argc)) {
        if (!reachable(displayOption ? argv[displayOption + 1] : std::getenv("DISPLAY")))
            return false;
        // DISPLAY names the display the windows are on, also to the door.
        if (displayOption)
            qputenv("DISPLAY", argv[displayOption + 1]);
        qputenv("QT_QPA_PLATFORM", "xcb");
        return true;
    }
    if (environmentSet("WAYLAND_DISPLAY"))
        std::fputs("pendralumovista: braucht X11, das eine Wayland-Sitzung über XWayland bietet, aber DISPLAY ist "
                   "nicht gesetzt: XWayland einschalten oder auf einem virtuellen X-Server starten, z. B. "
                   "Xvfb :99 & DISPLAY=:99 pendralumovista\n",
                   stderr);
    else
        std::fputs("pendralumovista: braucht eine X11-Anzeige, aber DISPLAY ist nicht gesetzt: auf einem "
                   "X11-Desktop starten oder auf einem virtuellen X-Server, z. B. Xvfb :99 & DISPLAY=:99 "
                   "pendralumovista\n",
                   stderr);
    return false;
}

void prepareLocale()
{
    // The file dialog formats sizes and dates in the system locale, which Qt
    // reads from the environment once, at its first use (setting the default
    // locale is one). Read now, while the
    // environment names German, it stays German. The environment is then put
    // back before the application object hands it to the C library, so that
    // the character set and the keyboard's compose sequences stay the user's
    // (a German locale need not even be installed).
    const char* const names[] = {"LC_ALL", "LANGUAGE"};
    std::optional<QByteArray> saved[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i) {
        if (qEnvironmentVariableIsSet(names[i]))
            saved[i] = qgetenv(names[i]);
        qputenv(names[i], "de_DE.UTF-8");
    }
    (void)QLocale::system();
    for (std::size_t i = 0; i < std::size(names); ++i)
        saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

namespace {
// The windows' icon shows only in task bars and window lists: neither the
// sign nor the control unit has a title bar. Reading its two bitmaps and
// handing them to the window system costs about a tenth of the whole start,
// so it is set right after both windows have painted their first frame.
class IconAfterFirstFrame : public QObject {
public:
    IconAfterFirstFrame(QObject* parent, std::vector<QWidget*> windows) : QObject(parent), waiting_(std::move(windows))
    {
        for (QWidget* window : waiting_)
            window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && std::erase(waiting_, watched) > 0 && waiting_.empty())
            QTimer::singleShot(0, this, [this] {
                setApplicationIcon();
                deleteLater();
            });
        return false;
    }

private:
    std::vector<QWidget*> waiting_;
};
} // namespace

void setApplicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon-64.png"));
    icon.addFile(QStringLiteral(":/icon-256.png"));
    QApplication::setWindowIcon(icon);
}

void prepareApplication(QApplication& application)
{
    // The application has its own connection to the X server now.
    if (displayProbe)
        xcb_disconnect(std::exchange(displayProbe, nullptr));
    application.setApplicationName(QStringLiteral("Pendralumovista"));
    // The application id, which names the installed menu entry, so that
    // task bars group the windows under that entry and its icon.
    application.setDesktopFileName(QStringLiteral("io.github.pendralumovista.Pendralumovista"));
    // The dialogs too use the font compiled into the program, so that they
    // read the same on a machine without any fonts installed.
    application.setFont(tk::uiFont(12));
    // Only closing the sign ends the program; the other windows just hide.
    application.setQuitOnLastWindowClosed(false);

    // Qt's own dialogs (the file dialog, the buttons of the input and
    // message boxes) in German like the rest of the program, from the
    // translation compiled into the resources.
    auto* qtTranslation = new QTranslator(&application);
    if (qtTranslation->load(QStringLiteral(":/translations/qtbase_de.qm")))
        QApplication::installTranslator(qtTranslation);

    // The file dialog keeps its recent folders in the user's QtProject.conf
    // when it closes. Pointed into the read-only resources, the user scope
    // has nowhere to write: the settings stay in memory and are dropped.
    for (QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral(":/no-settings"));

    // The example stop files, in the share folder beside the program's bin
    // folder; the build folder has a copy at the same place.
    tk::setFileDialogFolders({QDir(QApplication::applicationDirPath())
                                  .filePath(QStringLiteral(PENDRALUMOVISTA_INSTALLED_EXAMPLES))});
}

namespace {
// The program's X connection; none on the offscreen platform, which answers
// as X11 too.
xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// The atoms of the names, asked for together; 0 for one the server refused.
template <std::size_t N>
std::array<xcb_atom_t, N> internAtoms(xcb_connection_t* connection, const char* const (&names)[N])
{
    xcb_intern_atom_cookie_t cookies[N];
    for (std::size_t i = 0; i < N; ++i)
        cookies[i] = xcb_intern_atom(connection, 0, uint16_t(std::strlen(names[i])), names[i]);
    std::array<xcb_atom_t, N> atoms{};
    for (std::size_t i = 0; i < N; ++i)
        if (xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookies[i], nullptr)) {
            atoms[i] = reply->atom;
            std::free(reply);
        }
    return atoms;
}

// The sign has no title bar and stays above everything, so a task bar or
// window switcher entry would offer nothing but its class's caption; the
// control unit stands for the program there. On X11 the window asks the
// window manager before it is first shown; Qt adds its own states (on top)
// to what it finds on the window.
void keepOutOfWindowLists(QWidget& window)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection)
        return;
    const auto atoms = internAtoms(connection, {"_NET_WM_STATE", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"});
    if (!atoms[0] || !atoms[1] || !atoms[2])
        return;
    xcb_change_property(connection, XCB_PROP_MODE_APPEND, xcb_window_t(window.winId()), atoms[0], XCB_ATOM_ATOM, 32,
                        2, &atoms[1]);
}
} // namespace

void markActivation(QWidget& window, const QByteArray& startupId)
{
    xcb_connection_t* connection = x11Connection();
    if (!connection || startupId.isEmpty())
        return;
    const auto atoms = internAtoms(connection, {"_NET_STARTUP_ID", "UTF8_STRING"});
    if (!atoms[0] || !atoms[1])
        return;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, xcb_window_t(window.winId()), atoms[0], atoms[1], 8,
                        uint32_t(startupId.size()), startupId.constData());
}

Windows::Windows()
{
    // A line edit lays out its empty text in the application's font as soon
    // as it is made, before it takes the font of its window: were that the
    // dialogs' 12 pixels, the hidden edit field of the control unit would
    // load a font engine for nothing, about a tenth of the start. So the
    // windows are made while the application's font is the captions' one,
    // which they load anyway; the dialogs' font is back before anything is
    // painted.
    const QFont dialogFont = QApplication::font();
    QApplication::setFont(tk::uiFont(11));

    // Each window opens at its place where that lies on the screen; a scale
    // factor or a small screen leaves fewer logical pixels than the places
    // were chosen for, and there a window is moved until it fits. The sign
    // stays at the top edge.
    sign_ = std::make_unique<TForm1>();
    Form1 = sign_.get();
    keepOutOfWindowLists(*sign_);
    tk::keepOnScreen(*sign_, {}, true);
    sign_->show();

    controlUnit_ = std::make_unique<TForm2>(*sign_);
    Form2 = controlUnit_.get();
    tk::keepOnScreen(*controlUnit_);
    controlUnit_->show();
    new IconAfterFirstFrame(controlUnit_.get(), {sign_.get(), controlUnit_.get()});

    help_ = std::make_unique<TForm3>();
    Form3 = help_.get();
    // Its frame, the window manager's, is not known before it is first
    // shown: room for a title bar and borders of the usual sizes.
    tk::keepOnScreen(*help_, QMargins(8, 40, 8, 8));
    controlUnit_->HelpWindow = help_.get();

    QApplication::setFont(dialogFont);
}

Windows::~Windows()
{
    // The control unit refers to the sign and the help window: it goes first.
    controlUnit_.reset();
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
}
