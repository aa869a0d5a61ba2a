#include "Pendralumovista2.h"

#include <accessible.h>

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

// The unit without the mouse: each of its keys has a keyboard key, the same
// in every state, and a press of it clicks the unit's key through the very
// handlers the mouse reaches. What a screen reader is told of the face
// names the keys the same way.

namespace {

struct KeyboardKey {
    Qt::Key key;
    tk::Control* (*control)(TForm2& unit);
};

// One table: the first row of a control gives the key a screen reader
// names for it. The digits come from the main row and from the keypad alike.
// "Schließen" has no key: ending the program stays a deliberate act.
const KeyboardKey keyboardKeys[] = {
    {Qt::Key_Up, [](TForm2& u) -> tk::Control* { return u.Shape1; }},
    {Qt::Key_Down, [](TForm2& u) -> tk::Control* { return u.Shape2; }},
    {Qt::Key_1, [](TForm2& u) -> tk::Control* { return u.Label01; }},
    {Qt::Key_2, [](TForm2& u) -> tk::Control* { return u.Label02; }},
    {Qt::Key_3, [](TForm2& u) -> tk::Control* { return u.Label03; }},
    {Qt::Key_4, [](TForm2& u) -> tk::Control* { return u.Label04; }},
    {Qt::Key_5, [](TForm2& u) -> tk::Control* { return u.Label05; }},
    {Qt::Key_6, [](TForm2& u) -> tk::Control* { return u.Label06; }},
    {Qt::Key_7, [](TForm2& u) -> tk::Control* { return u.Label07; }},
    {Qt::Key_8, [](TForm2& u) -> tk::Control* { return u.Label08; }},
    {Qt::Key_9, [](TForm2& u) -> tk::Control* { return u.Label09; }},
    {Qt::Key_0, [](TForm2& u) -> tk::Control* { return u.Label00; }},
    {Qt::Key_C, [](TForm2& u) -> tk::Control* { return u.Label0C; }},
    {Qt::Key_M, [](TForm2& u) -> tk::Control* { return u.Label0M; }},
    {Qt::Key_Return, [](TForm2& u) -> tk::Control* { return u.Label0M; }},
    {Qt::Key_Enter, [](TForm2& u) -> tk::Control* { return u.Label0M; }},
    // The soft keys from the top, the first block of function keys.
    {Qt::Key_F1, [](TForm2& u) -> tk::Control* { return u.Shape8; }},
    {Qt::Key_F2, [](TForm2& u) -> tk::Control* { return u.Shape9; }},
    {Qt::Key_F3, [](TForm2& u) -> tk::Control* { return u.Shape10; }},
    // The named keys from the left, the second block.
    {Qt::Key_F5, [](TForm2& u) -> tk::Control* { return u.Label5; }},
    {Qt::Key_Menu, [](TForm2& u) -> tk::Control* { return u.Label5; }},
    {Qt::Key_F6, [](TForm2& u) -> tk::Control* { return u.Label6; }},
    {Qt::Key_F7, [](TForm2& u) -> tk::Control* { return u.Label7; }},
    {Qt::Key_F8, [](TForm2& u) -> tk::Control* { return u.Label9; }},
    {Qt::Key_End, [](TForm2& u) -> tk::Control* { return u.Label9; }},
};

QString shortcutOf(TForm2& unit, const tk::Control* control)
{
    for (const KeyboardKey& key : keyboardKeys)
        if (key.control(unit) == control)
            return QKeySequence(key.key).toString(QKeySequence::PortableText);
    return {};
}

} // namespace

tk::Control* TForm2::controlForKey(const QKeyEvent& event)
{
    // Keys held with Ctrl, Alt or the logo key belong to the desktop.
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return nullptr;
    for (const KeyboardKey& key : keyboardKeys)
        if (event.key() == key.key)
            return key.control(*this);
    return nullptr;
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    tk::Control* control = controlForKey(*event);
    if (!control) {
        tk::Form::keyPressEvent(event);
        return;
    }
    event->accept();
    // A held mouse button repeats nothing, and neither does a held key.
    if (event->isAutoRepeat())
        return;
    // A second press within the double-click time is a double click where
    // the key has one ("Auto" turns the direction round); elsewhere every
    // press is a click of its own.
    const bool isDouble = control->OnDblClick && control == lastKeyControl_
                          && event->timestamp() - lastKeyTime_ <= ulong(QApplication::doubleClickInterval());
    lastKeyControl_ = isDouble ? nullptr : control;
    lastKeyTime_ = event->timestamp();
    control->pressAsKey(isDouble);
}

void TForm2::keyReleaseEvent(QKeyEvent* event)
{
    tk::Control* control = controlForKey(*event);
    if (!control) {
        tk::Form::keyReleaseEvent(event);
        return;
    }
    event->accept();
    // The release of a key whose press went elsewhere (the Return that
    // closed an input box) clicks nothing.
    if (!event->isAutoRepeat())
        control->releaseAsKey();
}

std::vector<tk::AccessibleItem> TForm2::accessibleFace()
{
    using Kind = tk::AccessibleItem::Kind;
    std::vector<tk::AccessibleItem> items;
    auto text = [&](tk::Label* label, const char* what) {
        items.push_back({Kind::Text, label, {}, tk::toQString(tk::fromUtf8(what)), {}, {}});
    };
    auto key = [&](tk::Control* control, const char* name) {
        items.push_back({Kind::Button, control, {}, tk::toQString(tk::fromUtf8(name)), {}, shortcutOf(*this, control)});
    };
    text(Label1, "Anzeige oben");
    text(Label3, "Anzeige unten");
    text(Label2, "Uhr");
    text(Label8, "Linie");
    text(Label10, "Richtung");
    key(Shape8, "Softkey 1");
    key(Shape9, "Softkey 2");
    key(Shape10, "Softkey 3");
    key(Shape1, "Pfeil aufwärts");
    key(Shape2, "Pfeil abwärts");
    key(Label01, "1");
    key(Label02, "2");
    key(Label03, "3");
    key(Label04, "4");
    key(Label05, "5");
    key(Label06, "6");
    key(Label07, "7");
    key(Label08, "8");
    key(Label09, "9");
    key(Label0C, "C");
    key(Label00, "0");
    key(Label0M, "M");
    // The named keys read their captions.
    for (tk::Label* named : {Label5, Label6, Label7, Label9, Label4})
        key(named, "");
    return items;
}
