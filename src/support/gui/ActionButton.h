#pragma once
// A button that shows an action, as a toolbar button does: it takes the action's caption,
// hint, enabled and ticked state, and clicking it triggers the action.

class QAbstractButton;
class QAction;

void BindButtonToAction(QAbstractButton* button, QAction* action);
