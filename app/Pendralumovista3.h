#pragma once
// The help window: one fixed German text on black, an ordinary top-level
// window beside the others with a fixed-size dialog frame and a close button
// only. Created hidden at start; the control unit's menu shows it
// non-modally. Closing it only hides it.

#include <controls.h>
#include <text.h>

#include <QWidget>

class TForm3 : public tk::Form {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    tk::Label* Label1 = nullptr;

    // Runs each time the window becomes active: puts the help text in Label1.
    void FormActivate();

    // The text Label1 shows once the window has been activated.
    static tk::Text helpText();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
};

// The help window of the running program, created hidden at start.
extern TForm3* Form3;
