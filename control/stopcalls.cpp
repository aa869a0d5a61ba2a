#include "Pendralumovista2.h"

// Stop calls and announcements: not built yet.
// The arrow keys step through the stops in the standard view and turn the
// pages of the menu; while a setting is typed (page 5) they do nothing.
void TForm2::Shape1MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    if (MenuPage != 0) {
        menuPageUp();
        return;
    }
}

void TForm2::Shape2MouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    if (MenuPage != 0) {
        menuPageDown();
        return;
    }
}
void TForm2::Label6Click() {}
void TForm2::Timer2Timer() {}
void TForm2::Label01MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('1'); }
void TForm2::Label02MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('2'); }
void TForm2::Label03MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('3'); }
void TForm2::Label04MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('4'); }
void TForm2::Label05MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('5'); }
void TForm2::Label06MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('6'); }
void TForm2::Label07MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('7'); }
void TForm2::Label08MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('8'); }
void TForm2::Label09MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('9'); }
void TForm2::Label00MouseDown(tk::MouseButton, tk::ShiftState, int, int) { digitKey('0'); }
// The keypad serves the stop-number entry unless a timer setting is being
// typed, whatever page the display shows.
void TForm2::Label0CMouseDown(tk::MouseButton, tk::ShiftState, int, int)
{
    if (EntryMode == 0)
        stopNumberClear();
    else
        settingClear();
}

void TForm2::Label0MClick()
{
    if (EntryMode == 0)
        stopNumberConfirm();
    else
        settingConfirm();
}
void TForm2::Label9MouseDown(tk::MouseButton, tk::ShiftState, int, int) {}
// The sign is cleared through its hidden Reset item, as every writer does.
void TForm2::clearSign()
{
    Sign.Reset1->trigger();
}

void TForm2::writeSign(const tk::Text& text)
{
    Sign.schreib(text);
}
void TForm2::digitKey(char digit)
{
    if (EntryMode == 0)
        stopNumberDigit(digit);
    else
        settingDigit(digit);
}
void TForm2::stopNumberDigit(char) {}
void TForm2::stopNumberClear() {}
void TForm2::stopNumberConfirm() {}
