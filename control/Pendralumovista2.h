#pragma once
// The control unit: the driver's terminal with its small display, keypad,
// arrow keys, soft keys and named keys. It owns all operating state and
// drives the sign through exactly two operations: clear (trigger the sign's
// Reset1) and write (schreib).
//
// The handlers are split by concern:
//   face.cpp         window, controls, start state, clock, drag, "Schließen"
//   stopcalls.cpp    arrow keys, number entry, "Endstelle", "Anzeige", fall-back
//   stopdata.cpp     loading a stop data set (reader in stopfile.cpp)
//   menu.cpp         "Menü", menu pages, soft keys, timer settings
//   linedest.cpp     line and destination entry
//   autoadvance.cpp  "Auto" and the step timer
//   keys.cpp         the keyboard's keys, and the face as a screen reader hears it

#include <Pendralumovista1.h>
#include <controls.h>
#include <text.h>
#include <timer.h>

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <vector>

class QKeyEvent;

// The file-open dialog of the stop data set. It remembers the name chosen
// last, which it offers the next time.
struct OpenDialog {
    QString FileName;
    bool Execute();
};

class TForm2 : public tk::Form {
    Q_OBJECT
public:
    static constexpr int StopCapacity = 100;
    // The entry after the last stop must exist and stay empty.
    static constexpr int MaxStops = StopCapacity - 1;
    static constexpr tk::Color Olive = 0x507070;

    explicit TForm2(TForm1& sign, QWidget* parent = nullptr);

    // ---- state record, in declared order ----
    std::int32_t DragStartX = 0;
    std::int32_t DragStartY = 0;
    std::int32_t AutoIntervalSeconds = 0;
    std::int32_t AutoScatterSeconds = 0;
    std::array<tk::Text, StopCapacity> Stops{};
    std::uint8_t CurrentStop = 0;
    std::uint8_t StopCount = 0;
    tk::Text LineDestinationText;
    tk::Text LineNumber;
    tk::Text Destination;
    tk::Text DigitEntry;
    bool StopsLoaded = false;
    bool DirectionB = false;
    bool ShowLineDestination = false;
    std::uint8_t MenuPage = 0;
    std::uint8_t EntryMode = 0;

    // ---- the face, lowest first ----
    tk::Picture* Image1 = nullptr;
    tk::Label* Label3 = nullptr;
    tk::Shape* Shape1 = nullptr;
    tk::Shape* Shape2 = nullptr;
    tk::Label* Label4 = nullptr;
    tk::Label* Label5 = nullptr;
    tk::Label* Label6 = nullptr;
    tk::Label* Label7 = nullptr;
    tk::Label* Label01 = nullptr;
    tk::Label* Label02 = nullptr;
    tk::Label* Label03 = nullptr;
    tk::Label* Label04 = nullptr;
    tk::Label* Label05 = nullptr;
    tk::Label* Label06 = nullptr;
    tk::Label* Label07 = nullptr;
    tk::Label* Label08 = nullptr;
    tk::Label* Label09 = nullptr;
    tk::Label* Label0C = nullptr;
    tk::Label* Label00 = nullptr;
    tk::Label* Label0M = nullptr;
    tk::Label* Label9 = nullptr;
    tk::Shape* Shape3 = nullptr;
    tk::Picture* Image2 = nullptr;
    tk::Shape* Shape4 = nullptr;
    tk::Shape* Shape5 = nullptr;
    tk::Shape* Shape6 = nullptr;
    tk::Label* Label2 = nullptr;
    tk::Label* Label8 = nullptr;
    tk::Shape* Shape7 = nullptr;
    tk::Shape* Shape8 = nullptr;
    tk::Shape* Shape9 = nullptr;
    tk::Shape* Shape10 = nullptr;
    tk::Label* Label10 = nullptr;
    tk::Label* Label1 = nullptr;
    tk::Edit* Edit1 = nullptr;
    OpenDialog OpenDialog1;
    tk::Timer* Timer1 = nullptr;
    tk::Timer* Timer2 = nullptr;
    tk::Timer* Timer3 = nullptr;

    // The help window that page 1 of the menu shows; set at start-up.
    QWidget* HelpWindow = nullptr;

    // ---- handlers ----
    static constexpr tk::MouseButton Left = tk::MouseButton::Left;

    void FormCreate();
    void Timer1Timer();
    void Image1MouseDown(tk::MouseButton Button, tk::ShiftState Shift, int X, int Y);
    void Image1MouseUp(tk::MouseButton Button, tk::ShiftState Shift, int X, int Y);
    void Label4Click();

    void Shape1MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Shape2MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label6Click();
    void Timer2Timer();
    void Label01MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label02MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label03MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label04MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label05MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label06MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label07MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label08MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label09MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label00MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label0CMouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Label0MClick();
    void Label9MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);

    void Label7Click();
    void Label7DblClick();
    void Timer3Timer();

    void Label5Click();
    void Shape8MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Shape9MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);
    void Shape10MouseDown(tk::MouseButton Button = Left, tk::ShiftState Shift = {}, int X = 0, int Y = 0);

    // ---- compositions shared by the handlers ----
    // Current stop, an empty line, the following entry of the data set.
    tk::Text stopLines() const;
    // Top edge of the route-strip marker for the current stop.
    int markerTop() const;

    // The two switches live in the caption colours of their keys.
    bool displaySwitchOn() const { return Label6->FontColor() == tk::clWhite; }
    bool autoAdvanceOn() const { return Label7->FontColor() == tk::clWhite; }

    TForm1& Sign;

    // ---- for a driver beside the mouse (the session-bus door, the web sign) ----
    // What choosing `path` in the load dialog does, without the dialog and
    // the message box: empty when the file is loaded, else the message the
    // box would show; a refused file leaves the loaded set as it was.
    // Why a file was refused, for a caller that answers each case apart.
    enum class LoadFailure { None, NotFound, NotReadable, Folder, NotAStopFile };
    tk::Text loadStopFile(const QString& path, LoadFailure* failure = nullptr);
    // What the two input boxes do when both are confirmed with these texts.
    void setLineDestination(tk::Text lineNumber, tk::Text destination);
    // The text the sign shows for a line and destination: the line number
    // right-aligned in three characters, a blank, the destination.
    static tk::Text lineDestinationText(const tk::Text& lineNumber, const tk::Text& destination);
    // How the stop call of one key differs from the others (stopcalls.cpp).
    struct CallRule;

signals:
    // After every key handler and every tick of Timer2 and Timer3 that the
    // face wires up: the state may have changed, look again.
    void stateChanged();
    // Each announcement sentence, once it is on the clipboard.
    void announced(const tk::Text& sentence);

protected:
    void closeEvent(QCloseEvent* event) override;
    // keys.cpp: the keyboard's keys click the unit's keys.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    // face.cpp
    void buildFace();
    // The nine route-strip and status controls, hidden in the menu.
    void setRouteStripVisible(bool visible);

    // stopcalls.cpp
    void finishStopCall(const CallRule& rule, bool atTerminus);
    void clearSign();
    void writeSign(const tk::Text& text);
    void digitKey(char digit);
    void stopNumberDigit(char digit);
    void stopNumberClear();
    void stopNumberConfirm();

    // stopdata.cpp
    void loadStopDataSet();

    // menu.cpp
    void menuPageUp();
    void menuPageDown();
    void settingDigit(char digit);
    void settingClear();
    void settingConfirm();

    // linedest.cpp
    void enterLineDestination();
    // True while the input boxes of the line and destination entry are open:
    // the sign is kept dark until the entry ends.
    bool lineDestinationEntryOpen_ = false;

    // autoadvance.cpp
    int drawAutoInterval();

    // keys.cpp
    tk::Control* controlForKey(const QKeyEvent& event);
    // The keys and the display as a screen reader is told of them.
    std::vector<tk::AccessibleItem> accessibleFace();
    // What a soft key (0 to 2, from the top) does on the page shown: the
    // text the display writes beside it; none outside the menu's pages.
    QString softKeyPurpose(int key) const;
    // Says what the operator must hear unasked (a stop called, a menu page,
    // a refusal) to a screen reader, once.
    void say(const tk::Text& text);
    // The last key pressed and when, for a double press.
    tk::Control* lastKeyControl_ = nullptr;
    ulong lastKeyTime_ = 0;
    // The last key released and when, by the X server's clock: a press of
    // the same key at the same instant is the server's repeat of a held key.
    int lastReleasedKey_ = 0;
    ulong lastReleaseTime_ = 0;
};

// The control unit of the running program.
extern TForm2* Form2;
