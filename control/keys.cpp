#include "Pendralumovista2.h"

#include "keytable.h"

#include <accessible.h>

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>

// The unit without the mouse: each of its keys has a keyboard key (from the
// key table), the same in every state, and a press of it clicks the unit's
// key through the very handlers the mouse reaches. What a screen reader is
// told of the face names the keys from the same table.

namespace {

QString shortcutOf(const keys::Key& key)
{
    return key.keyboard[0] ? QKeySequence(key.keyboard[0]).toString(QKeySequence::PortableText) : QString();
}

} // namespace

tk::Control* TForm2::controlForKey(const QKeyEvent& event)
{
    // Keys held with Ctrl, Alt or the logo key belong to the desktop.
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return nullptr;
    // The keypad types digits and Enter. With NumLock off its keys are
    // End, the arrows and the like, which nobody means as calls there.
    if (event.modifiers() & Qt::KeypadModifier) {
        const bool digitOrEnter = (event.key() >= Qt::Key_0 && event.key() <= Qt::Key_9) || event.key() == Qt::Key_Enter;
        if (!digitOrEnter)
            return nullptr;
    }
    const keys::Key* key = keys::forKeyboard(event.key());
    return key ? key->control(*this) : nullptr;
}

void TForm2::keyPressEvent(QKeyEvent* event)
{
    tk::Control* control = controlForKey(*event);
    if (!control) {
        tk::Form::keyPressEvent(event);
        return;
    }
    event->accept();
    // A held mouse button repeats nothing, and neither does a held key. The
    // X server repeats a held key as a release and a press at the same
    // instant; Qt marks the pair as a repeat only when the press has already
    // arrived as it handles the release, which on a busy machine it often
    // has not. The same instant tells it in any case.
    const bool repeatOfRelease = event->key() == lastReleasedKey_ && event->timestamp() == lastReleaseTime_;
    if (event->isAutoRepeat() || (repeatOfRelease && event->timestamp() != 0))
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
    if (event->isAutoRepeat())
        return;
    lastReleasedKey_ = event->key();
    lastReleaseTime_ = event->timestamp();
    control->releaseAsKey();
}

std::vector<tk::AccessibleItem> TForm2::accessibleFace()
{
    using Kind = tk::AccessibleItem::Kind;
    std::vector<tk::AccessibleItem> items;
    // First what the unit says; before it said anything, the display's
    // upper text.
    items.push_back({Kind::Status, nullptr, Label1->geometry().united(Label3->geometry()), {},
                     [this] { return tk::toQString(Label1->Caption()).replace(u'\r', u' ').simplified(); }, {}, {}});
    auto text = [&](tk::Label* label, const char* what) {
        items.push_back({Kind::Text, label, {}, tk::toQString(tk::fromUtf8(what)), {}, {}, {}});
    };
    text(Label1, "Anzeige oben");
    text(Label3, "Anzeige unten");
    text(Label2, "Uhr");
    text(Label8, "Linie");
    text(Label10, "Richtung");
    // The keys as they sit on the face, from the top left; a key whose
    // spoken name is empty reads its caption.
    for (tk::Control* control : std::initializer_list<tk::Control*>{
             Shape8, Shape9, Shape10, Shape1, Shape2, Label01, Label02, Label03, Label04, Label05, Label06, Label07,
             Label08, Label09, Label0C, Label00, Label0M, Label5, Label6, Label7, Label9, Label4}) {
        const keys::Key* key = keys::forControl(*this, control);
        std::function<QString()> purpose;
        if (const int softKey = control == Shape8 ? 0 : control == Shape9 ? 1 : control == Shape10 ? 2 : -1; softKey >= 0)
            purpose = [this, softKey] { return softKeyPurpose(softKey); };
        items.push_back({Kind::Button, control, {}, tk::toQString(tk::fromUtf8(key->spoken)), {}, shortcutOf(*key),
                         std::move(purpose)});
    }
    return items;
}

QString TForm2::softKeyPurpose(int key) const
{
    if (MenuPage != 1 && MenuPage != 2)
        return {};
    // Soft key 1 sits beside the upper text's first line, 2 and 3 beside
    // the first and third line of the lower one.
    const QStringList upper = tk::toQString(Label1->Caption()).split(u'\r');
    const QStringList lower = tk::toQString(Label3->Caption()).split(u'\r');
    const QStringList& lines = key == 0 ? upper : lower;
    const int line = key == 2 ? 2 : 0;
    return line < lines.size() ? lines[line] : QString();
}

void TForm2::say(const tk::Text& text)
{
    QString sentence = tk::toQString(text);
    sentence.replace(u'\r', u'\n');
    announce(sentence.trimmed());
}
