#pragma once
// What the windows ask of the platform beyond widgets. The program runs on
// QtPlatform; tests install a scripted implementation with answers queued in
// advance, a clock they set and no real sleeping. The clipboard is not part of
// this seam: both use Qt's own QClipboard.

#include "text.h"

#include <QString>
#include <QStringList>
#include <QTime>
#include <random>

class QWidget;

namespace tk {

class Platform {
public:
    virtual ~Platform() = default;

    // Modal input box with title, prompt and default text, at most 255
    // characters. Returns the edited text after OK, the default after Cancel.
    virtual Text inputBox(const Text& title, const Text& prompt, const Text& defaultText) = 0;

    // Modal file-open dialog that offers `fileName` (the last choice) and accepts a typed name
    // of a file that does not exist. On OK the chosen path is stored in
    // `fileName`; returns false when cancelled.
    virtual bool openFileDialog(QString& fileName) = 0;

    // Error message box with the application's title as caption, an error
    // icon and an OK button.
    virtual void errorBox(const Text& message) = 0;

    virtual QTime timeOfDay() = 0;

    // The pseudo-random source: seeded once at start, then whole numbers drawn
    // uniformly from 0 to n - 1 (0 when n is 0 or less).
    virtual void randomize() = 0;
    virtual int random(int n) = 0;

    // Handle the window messages that are waiting (so that a new caption is
    // painted), then block the user-interface thread for `milliseconds`.
    virtual void processMessagesAndSleep(int milliseconds) = 0;
};

// The platform in use. Defaults to the Qt implementation.
Platform& platform();
// Installs another implementation (tests); nullptr goes back to Qt's.
void setPlatform(Platform* platform);

// Where Qt's file dialog opens while nothing has been chosen yet: the first
// of these folders that exists when it opens, else Qt's default.
void setFileDialogFolders(QStringList folders);

class QtPlatform : public Platform {
public:
    Text inputBox(const Text& title, const Text& prompt, const Text& defaultText) override;
    bool openFileDialog(QString& fileName) override;
    void errorBox(const Text& message) override;
    QTime timeOfDay() override;
    void randomize() override;
    int random(int n) override;
    void processMessagesAndSleep(int milliseconds) override;

private:
    std::mt19937 random_;
};

} // namespace tk
