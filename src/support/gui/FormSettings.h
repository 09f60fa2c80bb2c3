#pragma once
// Copies a window's input controls and its placement to and from a settings store, in the
// section named after the window's objectName (its component name).
//
// Controls are stored under their objectName plus ".Text" (QLineEdit, QPlainTextEdit,
// QTextEdit), ".Checked" (QCheckBox) or ".ItemIndex" and ".Text" (QComboBox). Controls without
// an objectName, Qt's own inner parts (a combo box's or spin box's line edit) and read-only
// viewers (QTextBrowser) are skipped.

#include <QList>
#include <QString>

class QWidget;
class SettingsStore;

// The window's controls in the order they are walked: depth first through children(), which
// is creation order for controls created with their final parent. Windows that lay out
// controls created elsewhere pass their own list to the overloads below.
QList<QWidget*> FormControls(QWidget* window);

// Writes every control; a refused write raises KelvaneError and ends the save there.
void SaveFormControls(QWidget* window, SettingsStore& store);
void SaveFormControls(const QString& section, const QList<QWidget*>& controls,
                      SettingsStore& store);

// Reads every control with its current value as default. Check boxes change through
// setChecked, so their toggled signals fire as for a click. A combo box takes its text first,
// then its index, which decides; an index outside the list leaves no entry selected (an
// editable box keeps the text as read).
void LoadFormControls(QWidget* window, const SettingsStore& store);
void LoadFormControls(const QString& section, const QList<QWidget*>& controls,
                      const SettingsStore& store);

// "Left", "Top", "Width", "Height" and "WindowState" (0 normal, 1 minimised, 2 maximised).
// Left/Top are the frame's position, Width/Height the size of the window's inside, as Qt's
// move() and resize() take them.
void SaveWindowPlacement(QWidget* window, SettingsStore& store);
// Applies the stored state; unless that is maximised, then sets the stored bounds, each one
// defaulting to the window's current value.
void LoadWindowPlacement(QWidget* window, const SettingsStore& store);
