#include "Pendralumovista2.h"

#include <platform.h>

#include <QCloseEvent>
#include <QFontMetrics>
#include <algorithm>
#include <cmath>

TForm2* Form2 = nullptr;

bool OpenDialog::Execute()
{
    return tk::platform().openFileDialog(FileName);
}

TForm2::TForm2(TForm1& sign, QWidget* parent)
    : tk::Form(parent, Qt::Window | Qt::FramelessWindowHint), Sign(sign)
{
    // No title bar shows it, but task bars and window switchers list the
    // control unit under its title: it stands for the program there.
    setWindowTitle(QStringLiteral("Pendralumovista"));
    setAccessibleName(QStringLiteral("Pendralumovista"));
    setFixedSize(516, 250);
    move(268, 381);
    buildFace();
    describeAccessible = [this] { return accessibleFace(); };
    FormCreate();
}

namespace {
tk::Label* keyCaption(tk::Form* parent, int left, int top, int width, int height, const char* utf8,
                      tk::Color color = tk::clBlack)
{
    return new tk::Label(parent, left, top, width, height, tk::fromUtf8(utf8), color, 11);
}

tk::Shape* invisibleKey(tk::Form* parent, int left, int top, int width, int height, tk::ShapeType type)
{
    auto* shape = new tk::Shape(parent, left, top, width, height, type);
    shape->setPenVisible(false);
    shape->setBrushVisible(false);
    return shape;
}

tk::Shape* oliveFrame(tk::Form* parent, int left, int top, int width, int height)
{
    auto* shape = new tk::Shape(parent, left, top, width, height);
    shape->setPen(TForm2::Olive, 2);
    shape->setBrushVisible(false);
    shape->hide();
    return shape;
}

// The lime glass of the display in the skin ends here; the frame follows.
constexpr int GlassRight = 292;

tk::Label* keypadKey(tk::Form* parent, int left, int top)
{
    return new tk::Label(parent, left, top, 33, 33);
}
} // namespace

void TForm2::buildFace()
{
    // Created bottom to top: each control lies above those made before it.
    Image1 = new tk::Picture(this, 0, 0, 515, 249, QStringLiteral(":/skin.rgb32"));
    Label3 = new tk::Label(this, 72, 98, 225, 79, {}, Olive, 21);
    // Its right end lies over the display's frame: the lines are fitted to
    // the lime glass, which ends at x 291.
    Label3->setTextWidth(GlassRight - 72);
    Shape1 = invisibleKey(this, 316, 52, 33, 41, tk::ShapeType::Circle);
    Shape2 = invisibleKey(this, 318, 131, 33, 41, tk::ShapeType::Circle);
    Label4 = keyCaption(this, 276, 203, 49, 17, "Schließen");
    Label5 = keyCaption(this, 48, 203, 27, 13, "Menü");
    Label6 = keyCaption(this, 102, 203, 38, 13, "Anzeige", tk::clWhite);
    Label7 = keyCaption(this, 169, 203, 22, 13, "Auto", tk::clBlack);
    Label01 = keypadKey(this, 369, 29);
    Label02 = keypadKey(this, 411, 29);
    Label03 = keypadKey(this, 450, 29);
    Label04 = keypadKey(this, 369, 71);
    Label05 = keypadKey(this, 411, 71);
    Label06 = keypadKey(this, 450, 71);
    Label07 = keypadKey(this, 369, 112);
    Label08 = keypadKey(this, 411, 112);
    Label09 = keypadKey(this, 450, 112);
    Label0C = keypadKey(this, 369, 152);
    Label00 = keypadKey(this, 411, 152);
    Label0M = keypadKey(this, 450, 152);
    Label9 = keyCaption(this, 219, 203, 43, 13, "Endstelle");
    Shape3 = oliveFrame(this, 68, 54, 162, 30);
    Image2 = new tk::Picture(this, 230, 56, 36, 112, QStringLiteral(":/routestrip.rgb32"));
    Image2->hide();
    Shape4 = oliveFrame(this, 238, 54, 52, 21);
    Shape5 = oliveFrame(this, 229, 54, 10, 116);
    Shape6 = oliveFrame(this, 238, 149, 52, 21);
    Label2 = new tk::Label(this, 248, 135, 49, 17, {}, Olive, 13);
    Label2->hide();
    Label8 = new tk::Label(this, 248, 151, 49, 16, {}, Olive, 13);
    Label8->hide();
    Shape7 = new tk::Shape(this, 229, 63, 10, 10);
    Shape7->setPen(Olive, 1);
    Shape7->setBrushColor(Olive);
    Shape7->hide();
    Shape8 = invisibleKey(this, 20, 50, 30, 33, tk::ShapeType::Rectangle);
    Shape9 = invisibleKey(this, 20, 91, 30, 33, tk::ShapeType::Rectangle);
    Shape10 = invisibleKey(this, 20, 132, 30, 33, tk::ShapeType::Rectangle);
    Label10 = new tk::Label(this, 272, 112, 9, 13, "A", Olive, 11);
    Label10->hide();
    Label1 = new tk::Label(this, 72, 57, 217, 112, {}, Olive, 21);
    // The hidden field lays out its text in the font it inherits from the
    // window. The captions' font is loaded anyway; any other would be loaded
    // only for that (see Windows() in app/startup.cpp). What the field cuts
    // to the clipboard does not depend on its font.
    setFont(tk::uiFont(11));
    Edit1 = new tk::Edit(this, 128, 288, 9, 21);
    Edit1->hide();

    Timer1 = new tk::Timer(this, 1000, true);
    Timer2 = new tk::Timer(this, 30000, false);
    Timer3 = new tk::Timer(this, 1000, false);

    // Wiring. The digit keys, "C", the arrows, the soft keys and "Endstelle"
    // act on the press of any button; "M", "Menü", "Anzeige", "Auto" and
    // "Schließen" on a completed click.
    auto onPress = [this](tk::Control* control, void (TForm2::*handler)(tk::MouseButton, tk::ShiftState, int, int)) {
        control->OnMouseDown = [this, handler](tk::MouseButton b, tk::ShiftState s, int x, int y) {
            (this->*handler)(b, s, x, y);
            emit stateChanged();
        };
    };
    auto onClick = [this](tk::Control* control, void (TForm2::*handler)()) {
        control->OnClick = [this, handler] {
            (this->*handler)();
            emit stateChanged();
        };
    };
    onPress(Image1, &TForm2::Image1MouseDown);
    Image1->OnMouseUp = [this](tk::MouseButton b, tk::ShiftState s, int x, int y) { Image1MouseUp(b, s, x, y); };
    onPress(Shape1, &TForm2::Shape1MouseDown);
    onPress(Shape2, &TForm2::Shape2MouseDown);
    onClick(Label4, &TForm2::Label4Click);
    onClick(Label5, &TForm2::Label5Click);
    onClick(Label6, &TForm2::Label6Click);
    onClick(Label7, &TForm2::Label7Click);
    Label7->OnDblClick = [this] {
        Label7DblClick();
        emit stateChanged();
    };
    onPress(Label01, &TForm2::Label01MouseDown);
    onPress(Label02, &TForm2::Label02MouseDown);
    onPress(Label03, &TForm2::Label03MouseDown);
    onPress(Label04, &TForm2::Label04MouseDown);
    onPress(Label05, &TForm2::Label05MouseDown);
    onPress(Label06, &TForm2::Label06MouseDown);
    onPress(Label07, &TForm2::Label07MouseDown);
    onPress(Label08, &TForm2::Label08MouseDown);
    onPress(Label09, &TForm2::Label09MouseDown);
    onPress(Label00, &TForm2::Label00MouseDown);
    onPress(Label0C, &TForm2::Label0CMouseDown);
    onClick(Label0M, &TForm2::Label0MClick);
    onPress(Label9, &TForm2::Label9MouseDown);
    onPress(Shape8, &TForm2::Shape8MouseDown);
    onPress(Shape9, &TForm2::Shape9MouseDown);
    onPress(Shape10, &TForm2::Shape10MouseDown);
    Timer1->OnTimer = [this] { Timer1Timer(); };
    Timer2->OnTimer = [this] {
        Timer2Timer();
        emit stateChanged();
    };
    Timer3->OnTimer = [this] {
        Timer3Timer();
        emit stateChanged();
    };
}

void TForm2::FormCreate()
{
    StopsLoaded = false;
    DirectionB = false;
    tk::platform().randomize();
    Label1->setCaption("\r          Orbis-Motion\r       Pendralumovista\r          Version: 2.2");
    MenuPage = 0;
    EntryMode = 0;
    ShowLineDestination = true;
    AutoIntervalSeconds = 75;
    AutoScatterSeconds = 50;
}

void TForm2::Timer1Timer()
{
    const QTime now = tk::platform().timeOfDay();
    Label2->setCaption(tk::fromQString(
        QStringLiteral("%1:%2").arg(now.hour()).arg(now.minute(), 2, 10, QLatin1Char('0'))));
}

void TForm2::Image1MouseDown(tk::MouseButton, tk::ShiftState, int X, int Y)
{
    DragStartX = X;
    DragStartY = Y;
}

void TForm2::Image1MouseUp(tk::MouseButton, tk::ShiftState, int X, int Y)
{
    // The borderless window jumps on release by the distance dragged.
    move(x() + (X - DragStartX), y() + (Y - DragStartY));
}

void TForm2::Label4Click()
{
    Sign.close();
}

void TForm2::closeEvent(QCloseEvent* event)
{
    // Only the sign ends the program; a close request here just hides the
    // unit, which keeps its state and its ticking clock and can be shown
    // again (it is never deleted on close). The request is accepted rather
    // than refused: when the sign ends the program, the application first
    // closes its windows one by one, stops at the first that refuses, and
    // does not end while a window it could not close is still shown.
    event->accept();
}

void TForm2::setRouteStripVisible(bool visible)
{
    for (tk::Control* control : std::initializer_list<tk::Control*>{Shape3, Shape4, Shape5, Shape6, Shape7,
                                                                     Image2, Label2, Label8, Label10})
        control->setVisible(visible);
}

tk::Text TForm2::stopLines() const
{
    const tk::Text& next = CurrentStop + 1 < StopCapacity ? Stops[CurrentStop + 1u] : tk::Text();
    const tk::Text& current = CurrentStop < StopCapacity ? Stops[CurrentStop] : tk::Text();
    return current + tk::CR + tk::CR + next;
}

int TForm2::markerTop() const
{
    if (StopCount == 0)
        return 63;
    // Floating-point quotient, rounded half to even (the default rounding mode).
    return 63 + int(std::nearbyint(double(CurrentStop) / double(StopCount) * 89.0));
}
