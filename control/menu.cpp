#include "Pendralumovista2.h"

// Menu pages and timer settings: not built yet.
void TForm2::Label5Click() {}
void TForm2::Shape8MouseDown(tk::MouseButton, tk::ShiftState, int, int) {}
void TForm2::Shape9MouseDown(tk::MouseButton, tk::ShiftState, int, int) {}
void TForm2::Shape10MouseDown(tk::MouseButton, tk::ShiftState, int, int) {}
void TForm2::menuPageUp() {}
void TForm2::menuPageDown() {}
void TForm2::settingDigit(char) {}
void TForm2::settingClear() {}
void TForm2::settingConfirm() {}
