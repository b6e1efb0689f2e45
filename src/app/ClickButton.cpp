#include "app/ClickButton.h"

#include <QAccessibleWidget>

namespace sonalto {

namespace {

class ClickButtonAccessible : public QAccessibleWidget
{
public:
    explicit ClickButtonAccessible(ClickButton *button)
        : QAccessibleWidget(button, QAccessible::Button)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const auto *b = button();
        s.checkable = b->isCheckable();
        s.checked = b->isChecked();
        s.pressed = b->isDown();
        return s;
    }

    QString text(QAccessible::Text t) const override
    {
        QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty())
            own = button()->text();
        if (t == QAccessible::Description && own.isEmpty())
            own = button()->toolTip();
        return own;
    }

    QStringList actionNames() const override
    {
        if (!button()->isEnabled())
            return {};
        QStringList names{pressAction()};
        if (button()->isCheckable())
            names << toggleAction();
        return names;
    }

    void doAction(const QString &name) override
    {
        // Deferred like Qt's own press: a handler that opens a dialog must not hold
        // up the assistive technology's call.
        if ((name == pressAction() || name == toggleAction()) && button()->isEnabled())
            button()->animateClick();
    }

    QStringList keyBindingsForAction(const QString &name) const override
    {
        return name == pressAction() ? QStringList{QStringLiteral("Space")} : QStringList{};
    }

private:
    ClickButton *button() const { return static_cast<ClickButton *>(widget()); }
};

QAccessibleInterface *accessibleFor(const QString &className, QObject *object)
{
    if (className == QLatin1String(ClickButton::staticMetaObject.className()) && object &&
        object->isWidgetType())
        return new ClickButtonAccessible(static_cast<ClickButton *>(object));
    return nullptr;
}

} // namespace

ClickButton::ClickButton(QWidget *parent) : QToolButton(parent)
{
    static const bool installed = (QAccessible::installFactory(accessibleFor), true);
    Q_UNUSED(installed);
}

} // namespace sonalto
