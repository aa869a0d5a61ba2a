#pragma once
// The start sequence, shared by the program and its start-up benchmark: the
// application settings, then the three windows in their fixed order.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <Pendralumovista3.h>

#include <memory>

class QApplication;
class QByteArray;
class QWidget;

// Before the application object exists: chooses the X11 platform (xcb),
// through XWayland on a Wayland session, unless the user chose a platform
// with Qt's -platform option or QT_QPA_PLATFORM; the windows place
// themselves and the sign stays on top, which a Wayland client cannot do.
// Without an X display to run on (neither DISPLAY nor Qt's -display
// option names one), or with one where no X server answers, it prints one
// line saying what is needed and returns false, before Qt would fail with
// a message of its own. The connection that asked stays open until
// prepareApplication.
bool prepareWindowSystem(int argc, char** argv);

// Before the application object exists: German formats for numbers, sizes
// and dates, in Qt's dialogs too, whatever locale the user's environment
// names; the C library's locale stays the user's.
void prepareLocale();

// Names the application, sets its font, lets only the sign end it, gives
// Qt's own dialogs their German texts, and keeps the file dialog from
// saving its recent folders; tells the file dialog where the example stop
// files are.
void prepareApplication(QApplication& application);

// Gives every window of the program the icon drawn at build time. The start
// sequence does this itself once the first windows have been painted.
void setApplicationIcon();

// Hands the launcher's startup id (from an activation request) to the window
// system with the window, before it is raised, so that the window manager
// lets it come to the front as the launcher asked. Nothing off X11.
void markActivation(QWidget& window, const QByteArray& startupId);

// The sign first (it is the main window), then the control unit, both shown;
// then the help window, hidden until the menu shows it. The program-wide
// references Form1 to Form3 point at them while this object lives.
class Windows {
public:
    Windows();
    ~Windows();
    Windows(const Windows&) = delete;
    Windows& operator=(const Windows&) = delete;

    TForm1& sign() { return *sign_; }
    TForm2& controlUnit() { return *controlUnit_; }
    TForm3& help() { return *help_; }

private:
    std::unique_ptr<TForm1> sign_;
    std::unique_ptr<TForm2> controlUnit_;
    std::unique_ptr<TForm3> help_;
};
