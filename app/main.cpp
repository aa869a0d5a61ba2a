// Start-up: the sign first (it is the main window), then the control unit,
// then the hidden help window; then the event loop until the sign closes.
// The program takes no arguments and reads and writes no file.

#include <Pendralumovista1.h>
#include <Pendralumovista2.h>
#include <Pendralumovista3.h>

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pendralumovista"));
    // The icon drawn at build time, and the name of the installed menu
    // entry, so that task bars group the windows under that entry.
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon-64.png"));
    icon.addFile(QStringLiteral(":/icon-256.png"));
    QApplication::setWindowIcon(icon);
    QApplication::setDesktopFileName(QStringLiteral("pendralumovista"));
    // Only closing the sign ends the program; the other windows just hide.
    QApplication::setQuitOnLastWindowClosed(false);

    TForm1 sign;
    Form1 = &sign;
    sign.show();

    TForm2 controlUnit(sign);
    Form2 = &controlUnit;
    controlUnit.show();

    // Hidden until the menu shows it.
    TForm3 help;
    Form3 = &help;
    controlUnit.HelpWindow = &help;

    return QApplication::exec();
}
