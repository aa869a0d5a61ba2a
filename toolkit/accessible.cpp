#include "accessible.h"

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

    int childCount() const override { return itemCount() + QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

    const AccessibleItem& item(int index) const { return items_[size_t(index)]; }
    QString textOf(int index) const;
    bool shows(int index) const;

    // Tells the listeners of what changed since they were last told.
    void refresh();

private:
    int itemCount() const;
    ItemAccessible* itemInterface(int index) const;

    mutable bool described_ = false;
    mutable std::vector<AccessibleItem> items_;
    mutable std::vector<ItemAccessible*> interfaces_;
    // What each item read and whether it showed when last told.
    mutable std::vector<QString> lastText_;
    mutable std::vector<bool> lastShown_;
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
            return item.kind == AccessibleItem::Kind::Text ? item.name : QString();
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
        return host_->item(index_).kind == AccessibleItem::Kind::Button ? QAccessible::Button
                                                                          : QAccessible::StaticText;
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !host_->shows(index_);
        state.readOnly = host_->item(index_).kind == AccessibleItem::Kind::Text;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ActionInterface && host_->item(index_).kind == AccessibleItem::Kind::Button)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }

    // Clicks the key once the call has been answered: a key may open a
    // modal dialog that waits for the operator, and the assistive
    // technology must not wait with it. While a dialog of the program is
    // open the key does nothing, as a click on it would.
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
        lastShown_.resize(items_.size());
        for (int i = 0; i < int(items_.size()); ++i) {
            lastText_[size_t(i)] = textOf(i);
            lastShown_[size_t(i)] = shows(i);
        }
    }
    return int(items_.size());
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
    return QAccessibleWidget::child(index - items);
}

int HostAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const int items = itemCount();
    for (int i = 0; i < items; ++i)
        if (interfaces_[size_t(i)] && interfaces_[size_t(i)] == child)
            return i;
    const int widget = QAccessibleWidget::indexOfChild(child);
    return widget < 0 ? -1 : items + widget;
}

QString HostAccessible::textOf(int index) const
{
    const AccessibleItem& item = items_[size_t(index)];
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

bool HostAccessible::shows(int index) const
{
    const AccessibleItem& item = items_[size_t(index)];
    return host()->isVisible() && (!item.control || item.control->isVisible());
}

void HostAccessible::refresh()
{
    const int items = itemCount();
    for (int i = 0; i < items; ++i) {
        const QString text = textOf(i);
        if (text != lastText_[size_t(i)]) {
            lastText_[size_t(i)] = text;
            QAccessibleEvent event(itemInterface(i), QAccessible::NameChanged);
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

QAccessibleInterface* hostFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("tk::WinControl"))
        if (auto* host = qobject_cast<WinControl*>(object))
            return new HostAccessible(host);
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
    if (!QAccessible::isActive())
        return;
    if (auto* host = dynamic_cast<HostAccessible*>(QAccessible::queryAccessibleInterface(this)))
        host->refresh();
}

} // namespace tk
