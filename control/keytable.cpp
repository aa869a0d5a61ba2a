#include "keytable.h"

#include "Pendralumovista2.h"

namespace keys {

namespace {

// A key name is a short word; a longer string is no key.
constexpr qsizetype LongestName = 16;


// The digits come from the main row and from the keypad alike. The soft
// keys are the first block of function keys from the top, the named keys
// the second block from the left. "Schließen" has no keyboard key: ending
// the program stays a deliberate act.
const Key keyTable[] = {
    {"0", nullptr, {Qt::Key_0}, "0", [](TForm2& u) -> tk::Control* { return u.Label00; }},
    {"1", nullptr, {Qt::Key_1}, "1", [](TForm2& u) -> tk::Control* { return u.Label01; }},
    {"2", nullptr, {Qt::Key_2}, "2", [](TForm2& u) -> tk::Control* { return u.Label02; }},
    {"3", nullptr, {Qt::Key_3}, "3", [](TForm2& u) -> tk::Control* { return u.Label03; }},
    {"4", nullptr, {Qt::Key_4}, "4", [](TForm2& u) -> tk::Control* { return u.Label04; }},
    {"5", nullptr, {Qt::Key_5}, "5", [](TForm2& u) -> tk::Control* { return u.Label05; }},
    {"6", nullptr, {Qt::Key_6}, "6", [](TForm2& u) -> tk::Control* { return u.Label06; }},
    {"7", nullptr, {Qt::Key_7}, "7", [](TForm2& u) -> tk::Control* { return u.Label07; }},
    {"8", nullptr, {Qt::Key_8}, "8", [](TForm2& u) -> tk::Control* { return u.Label08; }},
    {"9", nullptr, {Qt::Key_9}, "9", [](TForm2& u) -> tk::Control* { return u.Label09; }},
    {"C", nullptr, {Qt::Key_C}, "C", [](TForm2& u) -> tk::Control* { return u.Label0C; }},
    {"M", nullptr, {Qt::Key_M, Qt::Key_Return, Qt::Key_Enter}, "M",
     [](TForm2& u) -> tk::Control* { return u.Label0M; }},
    {"Menü", "Menu", {Qt::Key_F5, Qt::Key_Menu}, "", [](TForm2& u) -> tk::Control* { return u.Label5; }},
    {"Anzeige", nullptr, {Qt::Key_F6}, "", [](TForm2& u) -> tk::Control* { return u.Label6; }},
    {"Auto", nullptr, {Qt::Key_F7}, "", [](TForm2& u) -> tk::Control* { return u.Label7; }},
    {"Endstelle", nullptr, {Qt::Key_F8, Qt::Key_End}, "", [](TForm2& u) -> tk::Control* { return u.Label9; }},
    {"Schließen", nullptr, {}, "", [](TForm2& u) -> tk::Control* { return u.Label4; }},
    {"up", nullptr, {Qt::Key_Up}, "Pfeil aufwärts", [](TForm2& u) -> tk::Control* { return u.Shape1; }},
    {"down", nullptr, {Qt::Key_Down}, "Pfeil abwärts", [](TForm2& u) -> tk::Control* { return u.Shape2; }},
    {"soft1", nullptr, {Qt::Key_F1}, "Softkey 1", [](TForm2& u) -> tk::Control* { return u.Shape8; }},
    {"soft2", nullptr, {Qt::Key_F2}, "Softkey 2", [](TForm2& u) -> tk::Control* { return u.Shape9; }},
    {"soft3", nullptr, {Qt::Key_F3}, "Softkey 3", [](TForm2& u) -> tk::Control* { return u.Shape10; }},
};

// A name as it is compared: lower case, the umlaut and the ß spelt out, as
// on a keyboard without them.
QString folded(const QString& name)
{
    QString word = name.toLower();
    return word.replace(u'ü', QLatin1String("ue")).replace(u'ß', QLatin1String("ss"));
}

} // namespace

std::span<const Key> table()
{
    return keyTable;
}

const Key* find(const QString& name)
{
    if (name.size() > LongestName)
        return nullptr;
    const QString word = folded(name);
    for (const Key& key : keyTable)
        if (word == folded(QString::fromUtf8(key.name))
            || (key.otherSpelling && word == folded(QString::fromUtf8(key.otherSpelling))))
            return &key;
    return nullptr;
}

const Key* forKeyboard(int qtKey)
{
    for (const Key& key : keyTable)
        for (const Qt::Key keyboard : key.keyboard)
            if (keyboard && keyboard == qtKey)
                return &key;
    return nullptr;
}

const Key* forControl(TForm2& unit, const tk::Control* control)
{
    for (const Key& key : keyTable)
        if (key.control(unit) == control)
            return &key;
    return nullptr;
}

QStringList names()
{
    QStringList list;
    for (const Key& key : keyTable)
        list << QString::fromUtf8(key.name);
    return list;
}

void press(TForm2& unit, const Key& key)
{
    tk::Control* control = key.control(unit);
    control->pressAsKey(false);
    control->releaseAsKey();
}

} // namespace keys
