#include "startup.h"

#include <controls.h>

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>

#include <vector>

namespace {
// The windows' icon shows only in task bars and window lists: neither the
// sign nor the control unit has a title bar. Reading its two bitmaps and
// handing them to the window system costs about a tenth of the whole start,
// so it is set right after both windows have painted their first frame.
class IconAfterFirstFrame : public QObject {
public:
    IconAfterFirstFrame(QObject* parent, std::vector<QWidget*> windows) : QObject(parent), waiting_(std::move(windows))
    {
        for (QWidget* window : waiting_)
            window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && std::erase(waiting_, watched) > 0 && waiting_.empty())
            QTimer::singleShot(0, this, [this] {
                setApplicationIcon();
                deleteLater();
            });
        return false;
    }

private:
    std::vector<QWidget*> waiting_;
};
} // namespace

void setApplicationIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/icon-64.png"));
    icon.addFile(QStringLiteral(":/icon-256.png"));
    QApplication::setWindowIcon(icon);
}

void prepareApplication(QApplication& application)
{
    application.setApplicationName(QStringLiteral("Pendralumovista"));
    // The name of the installed menu entry, so that task bars group the
    // windows under that entry; the icon follows once the windows show.
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
    new IconAfterFirstFrame(controlUnit_.get(), {sign_.get(), controlUnit_.get()});

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
