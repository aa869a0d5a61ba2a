#include "Pendralumovista1.h"

#include <accessible.h>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* parent)
    : tk::Form(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    // No title bar shows it, and it stays out of task bars and window
    // switchers; but tools that list every window (a streaming program's
    // window capture among them) name it by its title.
    setWindowTitle(QString::fromUtf8("Pendralumovista – Anzeige"));
    // What a screen reader calls the window.
    setAccessibleName(QStringLiteral("Anzeige"));
    setFixedSize(926, 113);
    move(0, 0);

    GroupBox1 = new tk::Panel(this, 8, 8, PanelWidth, PanelHeight, PanelColor);
    GroupBox1->OnMouseDown = [this](tk::MouseButton b, tk::ShiftState s, int x, int y) {
        GroupBox1MouseDown(b, s, x, y);
    };
    GroupBox1->OnMouseUp = [this](tk::MouseButton b, tk::ShiftState s, int x, int y) {
        GroupBox1MouseUp(b, s, x, y);
    };

    // The menu exists only to carry the hidden Reset item, which is the
    // sign's one entry point for clearing; it shows nothing. A plain menu
    // rather than a menu bar: a menu bar builds its overflow button, icon
    // and all, when it is made, which would cost the start for nothing.
    MainMenu1 = new QMenu(this);
    Reset1 = MainMenu1->addAction(QStringLiteral("Reset"));
    Reset1->setVisible(false);
    connect(Reset1, &QAction::triggered, this, [this] { Reset1Click(); });

    Timer1 = new tk::Timer(this, 5000, false);
    Timer1->OnTimer = [this] { Timer1Timer(); };

    // What the sign shows, for a screen reader: one text, told again at each
    // write, clear and page change.
    describeAccessible = [this] {
        return std::vector<tk::AccessibleItem>{{tk::AccessibleItem::Kind::Text, nullptr, GroupBox1->geometry(),
                                                QStringLiteral("Zielanzeiger"),
                                                [this] { return tk::toQString(shownText()); }, {}, {}}};
    };

    FormCreate();
}

void TForm1::FormCreate()
{
    for (int cell = 0; cell < CellCount; ++cell)
        for (int row = 0; row < font::Rows; ++row)
            for (int column = 0; column < font::Columns; ++column) {
                auto* dot = new tk::Shape(GroupBox1, cell * CellPitch + column * DotPitch + PanelEdge,
                                          row * DotPitch + PanelEdge, DotPitch, DotPitch);
                dot->setPen(PanelColor, 1);
                // On a scaled screen the dots of a cell keep one pitch, so
                // that the gaps between their fills are all alike.
                dot->setBlockCorner(QPoint(cell * CellPitch + PanelEdge, PanelEdge));
                dot->setBrushColor(DarkColor);
                Dots[size_t(dotIndex(cell, column, row))] = dot;
            }
    move(57, y());
}

void TForm1::Reset1Click()
{
    // A clear from outside makes way for what comes next, or for nothing:
    // the control unit keeps the sign dark while the operator types a new
    // line and destination, so the pages of the text it showed must not
    // come back. The page change darkens the dots without this.
    Timer1->setEnabled(false);
    darken();
    written_.clear();
    accessibilityChanged();
}

void TForm1::darken()
{
    for (tk::Shape* dot : Dots)
        dot->setBrushColor(DarkColor);
}

void TForm1::GroupBox1MouseDown(tk::MouseButton, tk::ShiftState, int X, int Y)
{
    DragStartX = X;
    DragStartY = Y;
}

void TForm1::GroupBox1MouseUp(tk::MouseButton, tk::ShiftState, int X, int Y)
{
    // The window jumps once, on release, by the distance the pointer moved;
    // the vertical move is applied first.
    move(x(), Y + y() - DragStartY);
    move(X + x() - DragStartX, y());
}

void TForm1::drawGlyph(const font::Glyph& glyph, unsigned cell)
{
    if (cell >= unsigned(CellCount))
        return;
    for (int column = 0; column < font::Columns; ++column)
        for (int row = 0; row < font::Rows; ++row)
            if (glyph.columns[size_t(column)] & (1u << row))
                Dots[size_t(dotIndex(int(cell), column, row))]->setBrushColor(LitColor);
}

#define PENDRALUMOVISTA_GLYPH_DEFINITION(name, code, ...) \
    void TForm1::name(unsigned char cell) { drawGlyph(*font::glyphFor(code), cell); }
PENDRALUMOVISTA_GLYPHS(PENDRALUMOVISTA_GLYPH_DEFINITION)
#undef PENDRALUMOVISTA_GLYPH_DEFINITION

void TForm1::closeEvent(QCloseEvent* event)
{
    // The sign is the main window: closing it ends the program, whatever the
    // other windows show. exit() rather than quit(): quit() first asks every
    // other window to close and gives up if one of them stays open.
    event->accept();
    QCoreApplication::exit(0);
}
