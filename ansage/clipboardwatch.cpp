#include "clipboardwatch.h"

#include "announcement.h"

#include <QClipboard>
#include <QMimeData>

ClipboardWatch::ClipboardWatch(QClipboard* clipboard, bool plainTextsToo, qint64 notAfter, QObject* parent)
    : QObject(parent), clipboard_(clipboard), plainTextsToo_(plainTextsToo), last_(notAfter)
{
    // Every change of owner is reported, even when the text is the same.
    connect(clipboard_, &QClipboard::dataChanged, this, &ClipboardWatch::changed);
}

void ClipboardWatch::changed()
{
    const QMimeData* data = clipboard_->mimeData(QClipboard::Clipboard);
    if (!data)
        return;
    const QString format = QString::fromLatin1(callFormat);
    const bool numbered = data->hasFormat(format);
    if (numbered) {
        bool isNumber = false;
        const qint64 number = data->data(format).left(24).trimmed().toLongLong(&isNumber);
        if (!isNumber || number <= last_)
            return;
        last_ = number;
    } else if (!plainTextsToo_) {
        if (isAnnouncement(withoutControls(data->text())))
            emit numberMissing();
        return;
    }
    const QString text = withoutControls(data->text());
    if (isAnnouncement(text))
        emit announcement(text, numbered);
}
