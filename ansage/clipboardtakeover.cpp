#include "clipboardtakeover.h"

#include <QCoreApplication>

#include <xcb/xfixes.h>

#include <cstdlib>
#include <cstring>

ClipboardTakeover::ClipboardTakeover(xcb_connection_t* connection, QObject* parent) : QObject(parent)
{
    if (!connection)
        return;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(connection, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present)
        return;
    // The version this client speaks, which comes before the first request,
    // Qt has stated on its connection (a lower one stated here would hold
    // for Qt's requests too).
    constexpr char name[] = "CLIPBOARD";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (!atom)
        return;
    clipboard_ = atom->atom;
    std::free(atom);
    connection_ = connection;
    firstEvent_ = xfixes->first_event;
    // Reported on the root window, apart from the notices Qt asks for on a
    // window of its own.
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_xfixes_select_selection_input(connection, root_, clipboard_,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                                          | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

ClipboardTakeover::~ClipboardTakeover()
{
    if (connection_ && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void ClipboardTakeover::ownerChanged(quint32 owner, quint32 time)
{
    before_ = now_;
    now_ = {owner, time};
}

bool ClipboardTakeover::takenOver() const
{
    // The server's clock wraps after 49 days; the difference does not care.
    if (now_.window == 0 || before_.window == 0 || now_.window == before_.window
        || quint32(now_.since - before_.since) > WithinMs)
        return false;
    // The notices seen so far are all there are: a program that takes the
    // clipboard over has not done so again already, after the one seen
    // last set it (which would then be taken for the one taking over).
    if (!connection_)
        return true;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, clipboard_), nullptr);
    const bool current = owner && owner->owner == now_.window;
    std::free(owner);
    return current;
}

QString ClipboardTakeover::ownerName() const
{
    if (!connection_ || now_.window == 0)
        return {};
    // The owner's window, or the top-level window it lies in, names the
    // program in WM_CLASS: the instance name and the class name, each ended
    // by a zero byte. Bounded, as any text of another program's.
    xcb_window_t window = now_.window;
    for (int level = 0; level < 4 && window != XCB_NONE && window != root_; ++level) {
        xcb_get_property_reply_t* property = xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 16), nullptr);
        if (property && xcb_get_property_value_length(property) > 0) {
            const auto* bytes = static_cast<const char*>(xcb_get_property_value(property));
            const QString name =
                QString::fromLatin1(bytes, int(qstrnlen(bytes, uint(xcb_get_property_value_length(property)))));
            std::free(property);
            for (const QChar c : name)
                if (!c.isLetterOrNumber() && c != u'-' && c != u'_' && c != u'.')
                    return {};
            return name;
        }
        std::free(property);
        xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr);
        window = tree ? tree->parent : XCB_NONE;
        std::free(tree);
    }
    return {};
}

bool ClipboardTakeover::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != firstEvent_ + XCB_XFIXES_SELECTION_NOTIFY)
        return false;
    const auto* notice = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notice->window != root_ || notice->selection != clipboard_)
        return false;
    ownerChanged(notice->subtype == XCB_XFIXES_SELECTION_EVENT_SET_SELECTION_OWNER ? notice->owner : 0,
                 notice->timestamp);
    // Qt hears of the change on its own window's notice.
    return false;
}
