#include "platform.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <random>
#include <utility>

namespace tk {

namespace {
Platform* installed = nullptr;
QStringList fileDialogFolders;
}

Platform& platform()
{
    static QtPlatform qtPlatform;
    return installed ? *installed : qtPlatform;
}

void setPlatform(Platform* platform)
{
    installed = platform;
}

void setFileDialogFolders(QStringList folders)
{
    fileDialogFolders = std::move(folders);
}

Text QtPlatform::inputBox(const Text& title, const Text& prompt, const Text& defaultText)
{
    QInputDialog dialog;
    dialog.setWindowTitle(toQString(title));
    dialog.setLabelText(toQString(prompt));
    dialog.setTextValue(toQString(defaultText));
    // The buttons keep Qt's own texts, which the German translation gives.
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(255);
    dialog.adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(screen->geometry().center());
        dialog.move(frame.topLeft());
    }
    if (dialog.exec() != QDialog::Accepted)
        return defaultText;
    return fromQString(dialog.textValue());
}

bool QtPlatform::openFileDialog(QString& fileName)
{
    QFileDialog dialog;
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (!fileName.isEmpty()) {
        dialog.selectFile(fileName);
    } else {
        for (const QString& folder : std::as_const(fileDialogFolders))
            if (QFileInfo(folder).isDir()) {
                dialog.setDirectory(folder);
                break;
            }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    fileName = dialog.selectedFiles().constFirst();
    return true;
}

void QtPlatform::errorBox(const Text& message)
{
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), toQString(message),
                    QMessageBox::Ok);
    box.exec();
}

QTime QtPlatform::timeOfDay()
{
    return QTime::currentTime();
}

void QtPlatform::randomize()
{
    random_.seed(static_cast<std::mt19937::result_type>(QTime::currentTime().msecsSinceStartOfDay()));
}

int QtPlatform::random(int n)
{
    if (n <= 0)
        return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(random_);
}

void QtPlatform::processMessagesAndSleep(int milliseconds)
{
    QApplication::processEvents();
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

} // namespace tk
