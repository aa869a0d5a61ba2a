#include "startup.h"

#include <controls.h>

#include <QApplication>
#include <QIcon>

void prepareApplication(QApplication& application)
{
    application.setApplicationName(QStringLiteral("Pendralumovista"));
    // The icon drawn at build time, and the name of the installed menu
    // entry, so that task bars group the windows under that entry.
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon-64.png"));
    icon.addFile(QStringLiteral(":/icon-256.png"));
    application.setWindowIcon(icon);
    application.setDesktopFileName(QStringLiteral("pendralumovista"));
    // The dialogs too use the font compiled into the program, so that they
    // read the same on a machine without any fonts installed.
    application.setFont(tk::uiFont(12));
    // Only closing the sign ends the program; the other windows just hide.
    application.setQuitOnLastWindowClosed(false);
}

Windows::Windows()
{
    sign_ = std::make_unique<TForm1>();
    Form1 = sign_.get();
    sign_->show();

    controlUnit_ = std::make_unique<TForm2>(*sign_);
    Form2 = controlUnit_.get();
    controlUnit_->show();

    help_ = std::make_unique<TForm3>();
    Form3 = help_.get();
    controlUnit_->HelpWindow = help_.get();
}

Windows::~Windows()
{
    // The control unit refers to the sign and the help window: it goes first.
    controlUnit_.reset();
    Form1 = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
}
