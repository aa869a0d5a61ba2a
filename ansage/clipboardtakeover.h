#pragma once
// A program that takes the clipboard over. Some clipboard programs
// (xclipboard among them) fetch each text as soon as another program has
// put it on the clipboard and then offer it themselves, as text alone: the
// simulator's call number, which is what marks a call, is gone before the
// companion asks for it, and without a session bus every call is lost
// unheard. The X server reports each change of the clipboard's owner
// (XFixes); a new owner right after another one set it, while the
// clipboard holds an announcement without its number, is such a program.
//
// A clipboard manager that puts a text back after its owner has ended
// takes over from no owner, and is not one: nothing of a call is lost.

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QString>

#include <xcb/xcb.h>

class ClipboardTakeover : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Two owners within this many milliseconds of the server's clock: the
    // second took over from the first. A person copying twice is slower.
    static constexpr quint32 WithinMs = 500;

    // Watches the clipboard's owner on the application's X connection;
    // with none (or an X server without XFixes) it only counts what
    // ownerChanged is told.
    explicit ClipboardTakeover(xcb_connection_t* connection = nullptr, QObject* parent = nullptr);
    ~ClipboardTakeover() override;

    // The owner `owner` (a window, 0 when the owner left: ended or closed
    // its window) has the clipboard since `time`, the server's clock in
    // milliseconds.
    void ownerChanged(quint32 owner, quint32 time);
    // The owner of the moment took the clipboard from another right after
    // that one had put something on it; with an X connection, asks the
    // server whether it still owns it.
    bool takenOver() const;
    // The program that owns the clipboard, by the class its window names
    // (xclipboard's is "xclipboard"); empty when it names none.
    QString ownerName() const;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_NONE;
    xcb_atom_t clipboard_ = XCB_NONE;
    quint8 firstEvent_ = 0;
    struct Owner {
        quint32 window = 0;
        quint32 since = 0;
    };
    Owner before_, now_;
};
