#include "clipboardwatch.h"

#include "announcement.h"

#include <QClipboard>

ClipboardWatch::ClipboardWatch(QClipboard* clipboard, QObject* parent) : QObject(parent), clipboard_(clipboard)
{
    // Every change of owner is reported, even when the text is the same.
    connect(clipboard_, &QClipboard::dataChanged, this, &ClipboardWatch::changed);
}

void ClipboardWatch::changed()
{
    const QString text = clipboard_->text(QClipboard::Clipboard);
    if (isAnnouncement(text))
        emit announcement(text);
}
