#include "accessible.h"

#include "edit.h"
#include "label.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <vector>

namespace tk {

namespace {

class ItemAccessible;

// A window or panel that holds graphic controls: its widget children as Qt
// has them, and before them the items it describes.
class HostAccessible : public QAccessibleWidget {
public:
    explicit HostAccessible(WinControl* host)
        : QAccessibleWidget(host, host->isWindow() ? QAccessible::Window : QAccessible::Client)
    {
    }
    ~HostAccessible() override;

    WinControl* host() const { return static_cast<WinControl*>(widget()); }

    int childCount() const override { return itemCount() + int(shownWidgets().size()); }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    const AccessibleItem& item(int index) const { return items_[size_t(index)]; }
    QString textOf(int index) const;
    QString descriptionOf(int index) const;
    bool shows(int index) const;

    // Tells the listeners of what changed since they were last told.
    void refresh();
    // Tells them of the window's announcement: the status object, a
    // notification, changes its name and shows (anew). Screen readers speak
    // a notification that shows, whatever has the focus, with its name as
    // they know it: the change of name comes first, so that they know the
    // new one, and is not spoken by itself, as the object has no focus (a
    // change of the focused object's name would be spoken as well, by the
    // Orca of Debian 13, or not at all, by that of Debian 12, which gets the
    // object from Qt 6.4 where it expects the name).
    void tellAnnouncement();

private:
    int itemCount() const;
    int statusIndex() const;
    ItemAccessible* itemInterface(int index) const;
    // The widgets inside, less those that show a listener nothing: the
    // hidden field that carries text to the clipboard, and panels that only
    // paint (the sign's black panel, whose dots the window reads as one
    // text).
    std::vector<QAccessibleInterface*> shownWidgets() const;

    mutable bool described_ = false;
    mutable std::vector<AccessibleItem> items_;
    mutable std::vector<ItemAccessible*> interfaces_;
    // What each item read, what it did and whether it showed when last told.
    mutable std::vector<QString> lastText_;
    mutable std::vector<QString> lastDescription_;
    mutable std::vector<bool> lastShown_;
    friend class ItemAccessible;
};

// One described item of a host.
class ItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    ItemAccessible(const HostAccessible* host, int index) : host_(host), index_(index) {}

    bool isValid() const override { return host_->isValid(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return host_->window(); }
    QAccessibleInterface* parent() const override { return const_cast<HostAccessible*>(host_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override
    {
        const AccessibleItem& item = host_->item(index_);
        switch (t) {
        case QAccessible::Name:
            return host_->textOf(index_);
        case QAccessible::Description:
            return host_->descriptionOf(index_);
        case QAccessible::Accelerator:
            return item.shortcut;
        default:
            return {};
        }
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        const AccessibleItem& item = host_->item(index_);
        const QRect bounds = item.control ? item.control->geometry() : item.bounds;
        const WinControl* host = host_->host();
        return {host->mapToGlobal(bounds.topLeft()), bounds.size()};
    }

    QAccessible::Role role() const override
    {
        switch (host_->item(index_).kind) {
        case AccessibleItem::Kind::Button:
            return QAccessible::Button;
        case AccessibleItem::Kind::Status:
            return QAccessible::Notification;
        default:
            return QAccessible::StaticText;
        }
    }

    QAccessible::State state() const override
    {
        const AccessibleItem::Kind kind = host_->item(index_).kind;
        QAccessible::State state;
        state.invisible = !host_->shows(index_);
        state.readOnly = kind != AccessibleItem::Kind::Button;
        // While a dialog of the program is open, its keys take no press.
        state.disabled = kind == AccessibleItem::Kind::Button && QApplication::activeModalWidget();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && host_->item(index_).kind == AccessibleItem::Kind::Button)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // While a dialog of the program is open the key has no action: a press
    // would do nothing, as a click on it does, and the caller is told so
    // rather than told it succeeded.
    QStringList actionNames() const override
    {
        return QApplication::activeModalWidget() ? QStringList{} : QStringList{pressAction()};
    }

    // Clicks the key once the call has been answered: a key may open a
    // modal dialog that waits for the operator, and the assistive
    // technology must not wait with it.
    void doAction(const QString& name) override
    {
        if (name != pressAction() || QApplication::activeModalWidget())
            return;
        Control* control = host_->item(index_).control;
        if (!control)
            return;
        QPointer<WinControl> host = host_->host();
        QTimer::singleShot(0, host, [host, control] {
            if (!host || QApplication::activeModalWidget())
                return;
            control->pressAsKey();
            control->releaseAsKey();
        });
    }

    QStringList keyBindingsForAction(const QString& name) const override
    {
        const QString& shortcut = host_->item(index_).shortcut;
        return name == pressAction() && !shortcut.isEmpty() ? QStringList{shortcut} : QStringList{};
    }

private:
    const HostAccessible* host_;
    int index_;
};

HostAccessible::~HostAccessible()
{
    for (ItemAccessible* item : interfaces_)
        if (item)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
}

int HostAccessible::itemCount() const
{
    if (!described_ && host()->describeAccessible) {
        described_ = true;
        items_ = host()->describeAccessible();
        interfaces_.assign(items_.size(), nullptr);
        lastText_.resize(items_.size());
        lastDescription_.resize(items_.size());
        lastShown_.resize(items_.size());
        for (int i = 0; i < int(items_.size()); ++i) {
            lastText_[size_t(i)] = textOf(i);
            lastDescription_[size_t(i)] = descriptionOf(i);
            lastShown_[size_t(i)] = shows(i);
        }
    }
    return int(items_.size());
}

int HostAccessible::statusIndex() const
{
    const int items = itemCount();
    for (int i = 0; i < items; ++i)
        if (items_[size_t(i)].kind == AccessibleItem::Kind::Status)
            return i;
    return -1;
}

std::vector<QAccessibleInterface*> HostAccessible::shownWidgets() const
{
    std::vector<QAccessibleInterface*> shown;
    const int count = QAccessibleWidget::childCount();
    for (int i = 0; i < count; ++i) {
        QAccessibleInterface* child = QAccessibleWidget::child(i);
        if (!child)
            continue;
        QObject* object = child->object();
        if (qobject_cast<Edit*>(object))
            continue;
        if (auto* panel = qobject_cast<WinControl*>(object); panel && !panel->isWindow() && !panel->describeAccessible
            && panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).isEmpty())
            continue;
        shown.push_back(child);
    }
    return shown;
}

ItemAccessible* HostAccessible::itemInterface(int index) const
{
    ItemAccessible*& item = interfaces_[size_t(index)];
    if (!item) {
        item = new ItemAccessible(this, index);
        QAccessible::registerAccessibleInterface(item);
    }
    return item;
}

QAccessibleInterface* HostAccessible::child(int index) const
{
    const int items = itemCount();
    if (index < 0)
        return nullptr;
    if (index < items)
        return itemInterface(index);
    const std::vector<QAccessibleInterface*> widgets = shownWidgets();
    return size_t(index - items) < widgets.size() ? widgets[size_t(index - items)] : nullptr;
}

int HostAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const int items = itemCount();
    for (int i = 0; i < items; ++i)
        if (interfaces_[size_t(i)] && interfaces_[size_t(i)] == child)
            return i;
    const std::vector<QAccessibleInterface*> widgets = shownWidgets();
    for (size_t i = 0; i < widgets.size(); ++i)
        if (widgets[i] == child)
            return items + int(i);
    return -1;
}


QString HostAccessible::textOf(int index) const
{
    const AccessibleItem& item = items_[size_t(index)];
    if (item.kind == AccessibleItem::Kind::Status)
        return host()->announcement().isEmpty() && item.text ? item.text() : host()->announcement();
    QString text;
    if (item.text)
        text = item.text();
    else if (const auto* label = dynamic_cast<const Label*>(item.control))
        text = toQString(label->Caption());
    if (item.kind == AccessibleItem::Kind::Button && text.isEmpty())
        text = item.name;
    // A carriage return starts a new line on the screen.
    text.replace(u'\r', u'\n');
    return text;
}

QString HostAccessible::descriptionOf(int index) const
{
    const AccessibleItem& item = items_[size_t(index)];
    if (item.kind == AccessibleItem::Kind::Button)
        return item.description ? item.description() : QString();
    // A notification is read with its description: the name alone.
    if (item.kind == AccessibleItem::Kind::Status)
        return {};
    return item.name;
}

bool HostAccessible::shows(int index) const
{
    const AccessibleItem& item = items_[size_t(index)];
    return host()->isVisible() && (!item.control || item.control->isVisible());
}

void HostAccessible::refresh()
{
    const int items = itemCount();
    for (int i = 0; i < items; ++i) {
        // The status object's name changes only when the window says so.
        const QString text = textOf(i);
        if (text != lastText_[size_t(i)] && items_[size_t(i)].kind != AccessibleItem::Kind::Status) {
            lastText_[size_t(i)] = text;
            QAccessibleEvent event(itemInterface(i), QAccessible::NameChanged);
            QAccessible::updateAccessibility(&event);
        }
        const QString description = descriptionOf(i);
        if (description != lastDescription_[size_t(i)]) {
            lastDescription_[size_t(i)] = description;
            QAccessibleEvent event(itemInterface(i), QAccessible::DescriptionChanged);
            QAccessible::updateAccessibility(&event);
        }
        const bool shown = shows(i);
        if (shown != lastShown_[size_t(i)]) {
            lastShown_[size_t(i)] = shown;
            // As shown and hidden, which Qt's AT-SPI bridge passes on as
            // "showing"; a change of the state "invisible" it drops.
            QAccessibleEvent event(itemInterface(i), shown ? QAccessible::ObjectShow : QAccessible::ObjectHide);
            QAccessible::updateAccessibility(&event);
        }
    }
}

void HostAccessible::tellAnnouncement()
{
    const int status = statusIndex();
    if (status < 0)
        return;
    lastText_[size_t(status)] = textOf(status);
    QAccessibleEvent renamed(itemInterface(status), QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    QAccessibleEvent shown(itemInterface(status), QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
}

// The hidden edit field carries each announcement to the clipboard by
// "select all and cut". A screen reader that saw it would hear of every
// sentence as text typed, selected and deleted in a field without a name.
// It is left out of the tree, and its interface reads as no longer valid:
// Qt sends no event of an object whose interface is not valid.
class QuietFieldAccessible : public QAccessibleWidget {
public:
    explicit QuietFieldAccessible(QWidget* field) : QAccessibleWidget(field, QAccessible::EditableText) {}
    bool isValid() const override { return false; }
};

QAccessibleInterface* hostFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("tk::WinControl"))
        if (auto* host = qobject_cast<WinControl*>(object))
            return new HostAccessible(host);
    if (className == QLatin1String("tk::Edit"))
        if (auto* field = qobject_cast<Edit*>(object))
            return new QuietFieldAccessible(field);
    return nullptr;
}

} // namespace

void installAccessibleFactory()
{
    static bool installed = false;
    if (!std::exchange(installed, true))
        QAccessible::installFactory(hostFactory);
}

void WinControl::accessibilityChanged()
{
    if (!QAccessible::isActive() || std::exchange(accessibilityPending_, true))
        return;
    QTimer::singleShot(0, this, [this] {
        accessibilityPending_ = false;
        if (!QAccessible::isActive())
            return;
        if (auto* host = dynamic_cast<HostAccessible*>(QAccessible::queryAccessibleInterface(this)))
            host->refresh();
    });
}

void WinControl::announce(const QString& sentence)
{
    announcement_ = sentence;
    if (!QAccessible::isActive())
        return;
    if (auto* host = dynamic_cast<HostAccessible*>(QAccessible::queryAccessibleInterface(this)))
        host->tellAnnouncement();
}

} // namespace tk
