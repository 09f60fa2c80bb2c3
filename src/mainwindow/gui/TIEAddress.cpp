#include "mainwindow/gui/TIEAddress.h"

#include "mainwindow/TypedAddresses.h"
#include "mainwindow/gui/NameIconProvider.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStringListModel>
#include <QStyledItemDelegate>

namespace {

QIcon SpecialFolderIcon(int number) {
    const char* name = "folder";
    switch (number) {
    case 0:
    case 16:
        name = "user-desktop";
        break;
    case 5:
        name = "folder-documents";
        break;
    case 10:
        name = "user-trash";
        break;
    case 17:
        name = "computer";
        break;
    case 21:
        name = "folder-templates";
        break;
    default:
        break;
    }
    return QIcon::fromTheme(QLatin1String(name),
                            SharedNameIconProvider()->icon(QAbstractFileIconProvider::Folder));
}

QIcon IconOf(const AddressIconChoice& choice) {
    NameIconProvider* icons = SharedNameIconProvider();
    switch (choice.kind) {
    case AddressIconKind::SpecialFolder:
        return SpecialFolderIcon(choice.specialFolder);
    case AddressIconKind::File:
        return icons->IconFor(choice.path.section(QLatin1Char('/'), -1), false);
    case AddressIconKind::Folder:
        return icons->icon(QAbstractFileIconProvider::Folder);
    case AddressIconKind::WebPage:
        return icons->IconFor(QStringLiteral("*.htm"), false);
    case AddressIconKind::Empty:
        break;
    }
    return icons->icon(QAbstractFileIconProvider::File);
}

// Draws each drop-down entry with the icon its text calls for.
class AddressItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->icon = AddressIcon(index.data(Qt::DisplayRole).toString());
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
};

bool IsEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

QIcon AddressIcon(const QString& text) {
    return IconOf(ChooseAddressIcon(text));
}

TIEAddress::TIEAddress(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // No completion or insertion of the combo box's own: Enter and the suggestions are ours.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setItemDelegate(new AddressItemDelegate(this));
    m_icon = lineEdit()->addAction(QIcon(), QLineEdit::LeadingPosition);
    m_icon->setObjectName(QStringLiteral("actAddressIcon"));

    m_suggestionModel = new QStringListModel(this);
    m_completer = new QCompleter(m_suggestionModel, this);
    m_completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    m_completer->setWidget(lineEdit());
    connect(m_completer, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& text) { lineEdit()->setText(text); });
    // A suggestion highlighted with the arrow keys is what the field shows, and what Enter goes
    // to.
    connect(m_completer, qOverload<const QModelIndex&>(&QCompleter::highlighted), this,
            [this](const QModelIndex& index) {
                if (index.isValid())
                    lineEdit()->setText(index.data().toString());
            });
    connect(lineEdit(), &QLineEdit::textEdited, this, &TIEAddress::UpdateSuggestions);
    // Enter in the open list of suggestions goes with the field's text; the completer would
    // put its first suggestion into the field instead and go nowhere.
    m_completer->popup()->installEventFilter(this);

    connect(this, &QComboBox::editTextChanged, this, &TIEAddress::UpdateIcon);
    // Once the list has closed and given the focus back, which may deselect.
    connect(this, &QComboBox::activated, this, [this] {
        QMetaObject::invokeMethod(lineEdit(), &QLineEdit::selectAll, Qt::QueuedConnection);
    });
    view()->installEventFilter(this);
    lineEdit()->installEventFilter(this);
    LoadTypedAddresses();
}

void TIEAddress::LoadTypedAddresses() {
    m_typed = ReadTypedAddresses();
    clear();
    addItems(m_typed);
    KeepText(m_typed.value(0));
}

QStringList TIEAddress::Entries() const {
    QStringList entries;
    for (int row = 0; row < count(); ++row)
        entries.append(itemText(row));
    return entries;
}

void TIEAddress::SetText(const QString& text) {
    setEditText(text);
}

void TIEAddress::KeepText(const QString& text) {
    // A list change may move the current entry into the field; the field keeps its text.
    setCurrentIndex(-1);
    setEditText(text);
    UpdateIcon();
}

void TIEAddress::Enter() {
    const QString text = currentText();
    m_completer->popup()->hide();
    insertItem(0, text);
    KeepText(text);
    Q_EMIT GoRequested();
}

void TIEAddress::EnterHighlighted() {
    const int row = view()->currentIndex().row();
    hidePopup();
    if (row < 0 || row >= count()) {
        Enter();
        return;
    }
    const QString text = itemText(row);
    removeItem(row);
    insertItem(0, text);
    KeepText(text);
    Q_EMIT GoRequested();
}

void TIEAddress::MoveHighlight(int step) {
    const int last = std::min(count(), kReachableEntries) - 1;
    if (last < 0)
        return;
    const int row = view()->currentIndex().row();
    const int next = row < 0 ? 0 : std::clamp(row + step, 0, last);
    view()->setCurrentIndex(model()->index(next, modelColumn()));
    lineEdit()->setText(itemText(next));
}

void TIEAddress::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (IsEnter(event->key())) {
        Enter();
        return;
    }
    if (!alt && event->key() == Qt::Key_Down) {
        showPopup();
        return;
    }
    if (!alt && event->key() == Qt::Key_Up)
        return; // the closed list is not stepped through
    QComboBox::keyPressEvent(event);
}

bool TIEAddress::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QComboBox::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_completer->popup()) {
        if (IsEnter(key->key())) {
            Enter();
            return true;
        }
        return false;
    }
    if (watched == lineEdit()) {
        // Keys that reach the field itself take the same roads as those sent to the box.
        const bool suggesting = m_completer->popup()->isVisible();
        if (IsEnter(key->key()) ||
            (!suggesting && (key->key() == Qt::Key_Down || key->key() == Qt::Key_Up))) {
            keyPressEvent(key);
            return true;
        }
        return false;
    }
    if (watched == view()) {
        const bool alt = key->modifiers() & Qt::AltModifier;
        const bool upOrDown = key->key() == Qt::Key_Down || key->key() == Qt::Key_Up;
        if (IsEnter(key->key())) {
            EnterHighlighted();
            return true;
        }
        if (upOrDown && !alt) {
            MoveHighlight(key->key() == Qt::Key_Down ? 1 : -1);
            return true;
        }
        if ((upOrDown && alt) || key->key() == Qt::Key_Escape) {
            hidePopup();
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TIEAddress::paintEvent(QPaintEvent* event) {
    // Files come and go: the icon is chosen again whenever the box is drawn.
    UpdateIcon();
    QComboBox::paintEvent(event);
}

void TIEAddress::UpdateIcon() {
    const AddressIconChoice choice = ChooseAddressIcon(currentText());
    if (m_iconSet && choice == m_iconChoice)
        return;
    m_iconChoice = choice;
    m_iconSet = true;
    m_icon->setIcon(IconOf(choice));
}

void TIEAddress::UpdateSuggestions(const QString& text) {
    const QStringList suggestions = m_suggestions.For(text, m_typed);
    m_suggestionModel->setStringList(suggestions);
    if (suggestions.isEmpty() || (suggestions.size() == 1 && suggestions.first() == text)) {
        m_completer->popup()->hide();
        return;
    }
    m_completer->complete();
    // Nothing is highlighted until the user moves there: the first Down takes the first one.
    m_completer->popup()->setCurrentIndex(QModelIndex());
}
