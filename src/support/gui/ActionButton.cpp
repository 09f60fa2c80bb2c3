#include "support/gui/ActionButton.h"

#include <QAbstractButton>
#include <QAction>

namespace {

void FollowAction(QAbstractButton* button, const QAction* action) {
    button->setText(action->text());
    button->setToolTip(action->toolTip() == action->iconText() ? QString() : action->toolTip());
    button->setStatusTip(action->statusTip());
    button->setEnabled(action->isEnabled());
    button->setCheckable(action->isCheckable());
    button->setChecked(action->isChecked());
}

} // namespace

void BindButtonToAction(QAbstractButton* button, QAction* action) {
    FollowAction(button, action);
    QObject::connect(action, &QAction::changed, button,
                     [button, action] { FollowAction(button, action); });
    QObject::connect(action, &QAction::toggled, button, &QAbstractButton::setChecked);
    // A checkable button has ticked itself already; the action follows with its own toggle.
    QObject::connect(button, &QAbstractButton::clicked, action, [action] { action->trigger(); });
}
