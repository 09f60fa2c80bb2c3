#include "support/gui/TranslateComponents.h"

#include "support/Translation.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QErrorMessage>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSet>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTextEdit>
#include <QToolBar>
#include <QToolBox>
#include <QToolButton>

namespace {

const QString kApplicationSection = QStringLiteral("Application");

// Popups (menus, combo lists, tool tips) and floating bars are part of the window they came from.
bool IsWindow(const QObject* object) {
    const auto* widget = qobject_cast<const QWidget*>(object);
    if (widget == nullptr || !widget->isWindow())
        return false;
    if (qobject_cast<const QDockWidget*>(widget) || qobject_cast<const QToolBar*>(widget))
        return widget->parent() == nullptr;
    const Qt::WindowType type = widget->windowType();
    return type != Qt::Popup && type != Qt::ToolTip;
}

QString WindowSection(const QObject* window) {
    if (qobject_cast<const QMessageBox*>(window) || qobject_cast<const QErrorMessage*>(window))
        return QStringLiteral("TMessageForm");
    QString name = QString::fromLatin1(window->metaObject()->className());
    const qsizetype colons = name.lastIndexOf(QLatin1String("::"));
    if (colons >= 0)
        name.remove(0, colons + 2);
    return name;
}

// What Qt shows for an action's tool tip or icon text while none is set.
QString StrippedActionText(QString text) {
    text.remove(QStringLiteral("..."));
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&'))
            text.remove(i, 1);
    }
    return text.trimmed();
}

template <typename Getter, typename Setter>
void TranslateText(const QString& section, Getter get, Setter set) {
    const QString text = get();
    if (text.isEmpty())
        return;
    const QString translated = Translate(text, section);
    if (translated != text)
        set(translated);
}

// One walk over a tree of components. Remembers what it has done so that objects reachable
// twice (a shared model, an action shown by a menu) are translated once.
class ComponentWalk {
public:
    void Walk(QObject* object, const QString& section) {
        if (object == nullptr || m_done.contains(object))
            return;
        m_done.insert(object);
        TranslateOne(object, section);

        // Copied and guarded: translating may create or delete children.
        QList<QPointer<QObject>> children;
        for (QObject* child : object->children())
            children.append(child);
        for (const QPointer<QObject>& child : children) {
            if (child.isNull() || IsInternalPart(object, child))
                continue;
            Walk(child, IsWindow(child) ? WindowSection(child) : section);
        }
        // Actions that a menu shows but nobody owns would otherwise never be reached.
        if (auto* menu = qobject_cast<QMenu*>(object)) {
            for (QAction* action : menu->actions()) {
                if (action->parent() == nullptr)
                    Walk(action, section);
            }
        }
    }

private:
    // Children that a control manages itself and whose texts follow the control's own.
    static bool IsInternalPart(const QObject* parent, const QObject* child) {
        if (qobject_cast<const QComboBox*>(parent))
            return child->isWidgetType(); // edit box and drop-down list
        if (qobject_cast<const QAbstractSpinBox*>(parent))
            return qobject_cast<const QLineEdit*>(child) != nullptr;
        if (const auto* menu = qobject_cast<const QMenu*>(parent))
            return child == menu->menuAction(); // its text is the menu's title
        if (const auto* bar = qobject_cast<const QToolBar*>(parent))
            return child == bar->toggleViewAction(); // follows the bar's title
        if (const auto* dock = qobject_cast<const QDockWidget*>(parent))
            return child == dock->toggleViewAction();
        return false;
    }

    void TranslateOne(QObject* object, const QString& section) {
        // The application's display name is left alone: Qt would append it to the caption of
        // every dialog. The title is translated where it is used (ApplicationTitle()).
        if (object == QCoreApplication::instance())
            return;
        if (auto* action = qobject_cast<QAction*>(object)) {
            TranslateAction(action, section);
            return;
        }
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget == nullptr)
            return;
        TranslateWidgetHints(widget, section);
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            TranslateCombo(combo, section);
        else if (auto* tabs = qobject_cast<QTabBar*>(widget))
            TranslateTabs(tabs, section);
        else if (auto* header = qobject_cast<QHeaderView*>(widget))
            TranslateHeader(header, section);
        else if (auto* menu = qobject_cast<QMenu*>(widget))
            TranslateText(
                section, [menu] { return menu->title(); },
                [menu](const QString& t) { menu->setTitle(t); });
        else
            TranslateControlText(widget, section);
    }

    static void TranslateWidgetHints(QWidget* widget, const QString& section) {
        // A tool button showing an action takes its texts from the action.
        if (auto* button = qobject_cast<QToolButton*>(widget); button && button->defaultAction())
            return;
        TranslateText(
            section, [widget] { return widget->toolTip(); },
            [widget](const QString& t) { widget->setToolTip(t); });
        TranslateText(
            section, [widget] { return widget->statusTip(); },
            [widget](const QString& t) { widget->setStatusTip(t); });
        if (widget->isWindow() || qobject_cast<QDockWidget*>(widget) ||
            qobject_cast<QToolBar*>(widget)) {
            TranslateText(
                section, [widget] { return widget->windowTitle(); },
                [widget](const QString& t) { widget->setWindowTitle(t); });
        }
    }

    static void TranslateAction(QAction* action, const QString& section) {
        // Tool tip and icon text follow the caption until they are set on their own.
        const bool ownToolTip = action->toolTip() != StrippedActionText(action->text());
        const bool ownIconText = action->iconText() != StrippedActionText(action->text());
        if (ownToolTip) {
            TranslateText(
                section, [action] { return action->toolTip(); },
                [action](const QString& t) { action->setToolTip(t); });
        }
        if (ownIconText) {
            TranslateText(
                section, [action] { return action->iconText(); },
                [action](const QString& t) { action->setIconText(t); });
        }
        TranslateText(
            section, [action] { return action->text(); },
            [action](const QString& t) { action->setText(t); });
        TranslateText(
            section, [action] { return action->statusTip(); },
            [action](const QString& t) { action->setStatusTip(t); });
    }

    static void TranslateCombo(QComboBox* combo, const QString& section) {
        // Translating items must neither change the choice nor look like a user's change.
        const QSignalBlocker blocker(combo);
        const int index = combo->currentIndex();
        const QString editText = combo->isEditable() ? combo->currentText() : QString();
        const bool editShowsItem = index >= 0 && editText == combo->itemText(index);
        for (int i = 0; i < combo->count(); ++i) {
            TranslateText(
                section, [combo, i] { return combo->itemText(i); },
                [combo, i](const QString& t) { combo->setItemText(i, t); });
            TranslateText(
                section, [combo, i] { return combo->itemData(i, Qt::ToolTipRole).toString(); },
                [combo, i](const QString& t) { combo->setItemData(i, t, Qt::ToolTipRole); });
        }
        if (combo->currentIndex() != index)
            combo->setCurrentIndex(index);
        if (combo->isEditable()) {
            combo->setEditText(editShowsItem ? combo->itemText(index)
                                             : Translate(editText, section));
        }
        TranslateText(
            section, [combo] { return combo->placeholderText(); },
            [combo](const QString& t) { combo->setPlaceholderText(t); });
    }

    static void TranslateTabs(QTabBar* tabs, const QString& section) {
        for (int i = 0; i < tabs->count(); ++i) {
            TranslateText(
                section, [tabs, i] { return tabs->tabText(i); },
                [tabs, i](const QString& t) { tabs->setTabText(i, t); });
            TranslateText(
                section, [tabs, i] { return tabs->tabToolTip(i); },
                [tabs, i](const QString& t) { tabs->setTabToolTip(i, t); });
        }
    }

    // Column captions live in the model; a model shown by several views is translated once.
    void TranslateHeader(QHeaderView* header, const QString& section) {
        QAbstractItemModel* model = header->model();
        if (model == nullptr || header->orientation() != Qt::Horizontal ||
            m_headerModels.contains(model))
            return;
        m_headerModels.insert(model);
        const int columns = model->columnCount(header->rootIndex());
        for (int column = 0; column < columns; ++column) {
            for (const int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole)}) {
                TranslateText(
                    section,
                    [model, column, role] {
                        return model->headerData(column, Qt::Horizontal, role).toString();
                    },
                    [model, column, role](const QString& t) {
                        model->setHeaderData(column, Qt::Horizontal, t, role);
                    });
            }
        }
    }

    static void TranslateControlText(QWidget* widget, const QString& section) {
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (auto* tool = qobject_cast<QToolButton*>(widget); tool && tool->defaultAction())
                return;
            TranslateText(
                section, [button] { return button->text(); },
                [button](const QString& t) { button->setText(t); });
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            TranslateText(
                section, [label] { return label->text(); },
                [label](const QString& t) { label->setText(t); });
        } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            TranslateText(
                section, [group] { return group->title(); },
                [group](const QString& t) { group->setTitle(t); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            const QSignalBlocker blocker(edit);
            // A password is the user's secret, never a text of the program.
            if (edit->echoMode() == QLineEdit::Normal) {
                TranslateText(
                    section, [edit] { return edit->text(); },
                    [edit](const QString& t) { edit->setText(t); });
            }
            TranslateText(
                section, [edit] { return edit->placeholderText(); },
                [edit](const QString& t) { edit->setPlaceholderText(t); });
        } else if (auto* toolBox = qobject_cast<QToolBox*>(widget)) {
            for (int i = 0; i < toolBox->count(); ++i) {
                TranslateText(
                    section, [toolBox, i] { return toolBox->itemText(i); },
                    [toolBox, i](const QString& t) { toolBox->setItemText(i, t); });
                TranslateText(
                    section, [toolBox, i] { return toolBox->itemToolTip(i); },
                    [toolBox, i](const QString& t) { toolBox->setItemToolTip(i, t); });
            }
        } else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget)) {
            // The content of a text view is data; only its prompt is a program text.
            TranslateText(
                section, [plain] { return plain->placeholderText(); },
                [plain](const QString& t) { plain->setPlaceholderText(t); });
        } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
            TranslateText(
                section, [rich] { return rich->placeholderText(); },
                [rich](const QString& t) { rich->setPlaceholderText(t); });
        }
    }

    QSet<const QObject*> m_done;
    QSet<const QAbstractItemModel*> m_headerModels;
};

struct StartupWindows {
    QList<QPointer<QObject>> windows;
    bool translated = false;
};

StartupWindows& Startup() {
    static StartupWindows startup;
    return startup;
}

} // namespace

QString SectionFor(const QObject* component) {
    for (const QObject* object = component; object != nullptr; object = object->parent()) {
        if (IsWindow(object))
            return WindowSection(object);
    }
    return kApplicationSection;
}

void TranslateComponent(QObject* component) {
    if (component == nullptr)
        return;
    ComponentWalk().Walk(component, SectionFor(component));
}

void TranslateAll() {
    StartupWindows& startup = Startup();
    if (startup.translated)
        return;
    startup.translated = true;
    ComponentWalk walk;
    if (QCoreApplication::instance() != nullptr)
        walk.Walk(QCoreApplication::instance(), kApplicationSection);
    for (const QPointer<QObject>& window : std::as_const(startup.windows)) {
        if (!window.isNull())
            walk.Walk(window, SectionFor(window));
    }
    startup.windows.clear();
}

void RegisterStartupWindow(QObject* window) {
    if (window == nullptr)
        return;
    StartupWindows& startup = Startup();
    // A window registered after the start-up pass is translated at once, like its siblings.
    if (startup.translated)
        TranslateComponent(window);
    else if (!startup.windows.contains(window))
        startup.windows.append(window);
}
