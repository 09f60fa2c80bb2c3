#include "support/gui/FormSettings.h"

#include "support/SettingsStore.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBrowser>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>

namespace {

enum class ControlKind { None, LineEdit, PlainText, RichText, Check, Combo };

ControlKind KindOf(QWidget* widget) {
    if (widget->objectName().isEmpty() || widget->objectName().startsWith(QLatin1String("qt_")))
        return ControlKind::None;
    if (qobject_cast<QComboBox*>(widget))
        return ControlKind::Combo;
    if (qobject_cast<QCheckBox*>(widget))
        return ControlKind::Check;
    if (qobject_cast<QLineEdit*>(widget)) {
        // The editor inside a combo or spin box belongs to that control.
        QWidget* parent = widget->parentWidget();
        if (qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractSpinBox*>(parent))
            return ControlKind::None;
        return ControlKind::LineEdit;
    }
    if (qobject_cast<QPlainTextEdit*>(widget))
        return ControlKind::PlainText;
    if (qobject_cast<QTextEdit*>(widget) && !qobject_cast<QTextBrowser*>(widget))
        return ControlKind::RichText;
    return ControlKind::None;
}

void Collect(QObject* parent, QList<QWidget*>& controls) {
    for (QObject* child : parent->children()) {
        QWidget* widget = qobject_cast<QWidget*>(child);
        if (!widget)
            continue;
        // Separate windows (dialogs owned by this one) keep their own sections.
        if (widget->isWindow())
            continue;
        if (KindOf(widget) != ControlKind::None)
            controls.append(widget);
        Collect(widget, controls);
    }
}

QString Key(QWidget* control, const char* suffix) {
    return control->objectName() + QLatin1String(suffix);
}

} // namespace

QList<QWidget*> FormControls(QWidget* window) {
    QList<QWidget*> controls;
    Collect(window, controls);
    return controls;
}

void SaveFormControls(QWidget* window, SettingsStore& store) {
    SaveFormControls(window->objectName(), FormControls(window), store);
}

void SaveFormControls(const QString& section, const QList<QWidget*>& controls,
                      SettingsStore& store) {
    for (QWidget* control : controls) {
        switch (KindOf(control)) {
        case ControlKind::LineEdit:
            store.WriteString(section, Key(control, ".Text"),
                              static_cast<QLineEdit*>(control)->text());
            break;
        case ControlKind::PlainText:
            store.WriteString(section, Key(control, ".Text"),
                              static_cast<QPlainTextEdit*>(control)->toPlainText());
            break;
        case ControlKind::RichText:
            store.WriteString(section, Key(control, ".Text"),
                              static_cast<QTextEdit*>(control)->toPlainText());
            break;
        case ControlKind::Check:
            store.WriteBool(section, Key(control, ".Checked"),
                            static_cast<QCheckBox*>(control)->isChecked());
            break;
        case ControlKind::Combo: {
            auto* combo = static_cast<QComboBox*>(control);
            store.WriteInteger(section, Key(control, ".ItemIndex"), combo->currentIndex());
            store.WriteString(section, Key(control, ".Text"), combo->currentText());
            break;
        }
        case ControlKind::None:
            break;
        }
    }
}

void LoadFormControls(QWidget* window, const SettingsStore& store) {
    LoadFormControls(window->objectName(), FormControls(window), store);
}

void LoadFormControls(const QString& section, const QList<QWidget*>& controls,
                      const SettingsStore& store) {
    for (QWidget* control : controls) {
        switch (KindOf(control)) {
        case ControlKind::LineEdit: {
            auto* edit = static_cast<QLineEdit*>(control);
            edit->setText(store.ReadString(section, Key(control, ".Text"), edit->text()));
            break;
        }
        case ControlKind::PlainText: {
            auto* edit = static_cast<QPlainTextEdit*>(control);
            const QString current = edit->toPlainText();
            const QString text = store.ReadString(section, Key(control, ".Text"), current);
            if (text != current)
                edit->setPlainText(text);
            break;
        }
        case ControlKind::RichText: {
            auto* edit = static_cast<QTextEdit*>(control);
            const QString current = edit->toPlainText();
            const QString text = store.ReadString(section, Key(control, ".Text"), current);
            if (text != current)
                edit->setPlainText(text);
            break;
        }
        case ControlKind::Check: {
            auto* box = static_cast<QCheckBox*>(control);
            box->setChecked(store.ReadBool(section, Key(control, ".Checked"), box->isChecked()));
            break;
        }
        case ControlKind::Combo: {
            auto* combo = static_cast<QComboBox*>(control);
            const QString text =
                store.ReadString(section, Key(control, ".Text"), combo->currentText());
            combo->setCurrentText(text);
            const int index =
                store.ReadInteger(section, Key(control, ".ItemIndex"), combo->currentIndex());
            if (index >= 0 && index < combo->count()) {
                combo->setCurrentIndex(index);
                // The index decides, also when it was already current but the typed text
                // differed.
                if (combo->isEditable())
                    combo->setEditText(combo->itemText(index));
            } else {
                combo->setCurrentIndex(-1);
                if (combo->isEditable())
                    combo->setEditText(text);
            }
            break;
        }
        case ControlKind::None:
            break;
        }
    }
}

void SaveWindowPlacement(QWidget* window, SettingsStore& store) {
    const QString section = window->objectName();
    const Qt::WindowStates states = window->windowState();
    const int state = states.testFlag(Qt::WindowMinimized)   ? 1
                      : states.testFlag(Qt::WindowMaximized) ? 2
                                                             : 0;
    store.WriteInteger(section, QStringLiteral("Left"), window->x());
    store.WriteInteger(section, QStringLiteral("Top"), window->y());
    store.WriteInteger(section, QStringLiteral("Width"), window->width());
    store.WriteInteger(section, QStringLiteral("Height"), window->height());
    store.WriteInteger(section, QStringLiteral("WindowState"), state);
}

void LoadWindowPlacement(QWidget* window, const SettingsStore& store) {
    const QString section = window->objectName();
    const Qt::WindowStates states = window->windowState();
    const int current = states.testFlag(Qt::WindowMinimized)   ? 1
                        : states.testFlag(Qt::WindowMaximized) ? 2
                                                               : 0;
    const int state = store.ReadInteger(section, QStringLiteral("WindowState"), current);
    const Qt::WindowStates kept = states & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (state) {
    case 1:
        window->setWindowState(kept | Qt::WindowMinimized);
        break;
    case 2:
        window->setWindowState(kept | Qt::WindowMaximized);
        return;
    default:
        window->setWindowState(kept);
        break;
    }
    const int width = store.ReadInteger(section, QStringLiteral("Width"), window->width());
    const int height = store.ReadInteger(section, QStringLiteral("Height"), window->height());
    const int top = store.ReadInteger(section, QStringLiteral("Top"), window->y());
    const int left = store.ReadInteger(section, QStringLiteral("Left"), window->x());
    // Explicit bounds; a window moved this way is no longer placed by the window manager.
    // Left/Top are the frame's corner, as SaveWindowPlacement wrote it. A window on the screen
    // is placed by its frame through its native window: QWidget::move() takes the frame's size
    // from what the window manager has said so far, which just after the window was first
    // shown is nothing, and the window would creep by its title bar at every start.
    window->resize(width, height);
    if (QWindow* handle = window->windowHandle(); handle != nullptr && window->isVisible())
        handle->setFramePosition(QPoint(left, top));
    else
        window->move(left, top);
}
