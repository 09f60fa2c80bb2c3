#pragma once
// The address combo box of the main window: an editable field with an icon chosen from its
// text, and a drop-down of addresses that starts with the user's typed-address list (not
// sorted, never written back) and gains each address entered during the session.
//
// Keys: Enter asks for "Go" (GoRequested) after the address list has been updated; Down opens
// the list; in the open list Down and Up move through the first 25 entries and put the
// highlighted one into the field, Esc or Alt with Down or Up closes it. Picking an entry with
// the mouse puts it into the field, selected, without "Go".
//
// While the user types, a list of suggestions opens under the field (paths and typed
// addresses). Nothing in it is highlighted until the arrow keys move there, which puts the
// suggestion into the field; Enter always goes with what the field shows.

#include "mainwindow/AddressIcon.h"
#include "mainwindow/AddressSuggestions.h"

#include <QComboBox>
#include <QStringList>

class QAction;
class QCompleter;
class QStringListModel;

// The icon for an address, by the rules of ChooseAddressIcon.
QIcon AddressIcon(const QString& text);

class TIEAddress : public QComboBox {
    Q_OBJECT
public:
    // Entries reachable with Down and Up in the open list.
    static constexpr int kReachableEntries = 25;

    explicit TIEAddress(QWidget* parent = nullptr);

    // Clears the list, fills it from the typed-address list and shows its first entry.
    void LoadTypedAddresses();
    QStringList Entries() const;
    QString Text() const { return currentText(); }
    void SetText(const QString& text);

Q_SIGNALS:
    // Enter in the field or on an entry of the open list; the text is what "Go" reads.
    void GoRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Enter();
    void EnterHighlighted();
    void MoveHighlight(int step);
    void UpdateIcon();
    void UpdateSuggestions(const QString& text);
    void KeepText(const QString& text);

    QAction* m_icon = nullptr;
    AddressIconChoice m_iconChoice;
    bool m_iconSet = false;
    QStringList m_typed;
    QCompleter* m_completer = nullptr;
    QStringListModel* m_suggestionModel = nullptr;
    AddressSuggestions m_suggestions;
};
