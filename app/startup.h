#pragma once
// The start sequence, shared by the program and its start-up benchmark: the
// application settings, then the three windows in their fixed order.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <Pendralumovista3.h>

#include <memory>

class QApplication;

// Names the application, sets its font, and lets only the sign end it.
void prepareApplication(QApplication& application);

// Gives every window of the program the icon drawn at build time. The start
// sequence does this itself once the first windows have been painted.
void setApplicationIcon();

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
