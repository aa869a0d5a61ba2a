#pragma once
// The keys of the control unit, each named once: its name on the bus and
// the command line, the spelling accepted besides it, the keyboard keys that
// press it, what a screen reader calls it and the control it presses. The
// keyboard, the door on the session bus, the screen readers' press action
// and the command line all go through this table, so that a key press, a
// bus call and a click cannot differ.

#include <QString>
#include <QStringList>
#include <Qt>

#include <span>

class TForm2;
namespace tk {
class Control;
}

namespace keys {

struct Key {
    // On the bus and on the command line (UTF-8).
    const char* name;
    // Accepted besides the name; case never matters, and a spelt-out umlaut
    // or ß (Menue, Schliessen) always works. nullptr: none.
    const char* otherSpelling;
    // The keyboard keys that press it, the one a screen reader names first;
    // Qt::Key(0) ends the list.
    Qt::Key keyboard[3];
    // What a screen reader calls it; empty: its caption.
    const char* spoken;
    // The control it presses.
    tk::Control* (*control)(TForm2& unit);
};

// Every key, in the order the bus and the command line list them.
std::span<const Key> table();

// The key a caller names; nullptr for a word that names none.
const Key* find(const QString& name);
// The key a keyboard key presses; nullptr for none.
const Key* forKeyboard(int qtKey);
// The key of a control; nullptr for a control that is no key.
const Key* forControl(TForm2& unit, const tk::Control* control);

// The names, as the bus and the command line list them.
QStringList names();

// Presses the key as the keyboard does: down, then up.
void press(TForm2& unit, const Key& key);

} // namespace keys
