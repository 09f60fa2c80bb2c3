#pragma once
// The folder navigation history of the main window, browser style: Back and Forward move
// through the visited folders, a new visit after going back drops the entries ahead.
// Entries are folder identifiers (FolderIds.h); the history keeps its own copies.

#include <QString>
#include <QStringList>
#include <optional>

class TPIDLHistory {
public:
    // Drops every entry after the current one, appends `id` and makes it current.
    const QString& Add(const QString& id);
    // Records a copy of `id`; nothing is recorded (and nothing returned) for an empty one.
    std::optional<QString> AddCopy(const QString& id);

    bool CanBack(int n = 1) const { return n >= 1 && Position - n >= 0 && !Items.isEmpty(); }
    bool CanForward(int n = 1) const { return n >= 1 && Position + n < Items.size(); }
    // Moves n entries and answers the entry now current; nothing (and no move) when the
    // history does not reach that far.
    std::optional<QString> Back(int n = 1);
    std::optional<QString> Forward(int n = 1);
    // The entry `offset` away from the current one, without moving.
    std::optional<QString> Peek(int offset) const;
    void Clear();

    qsizetype Count() const { return Items.size(); }
    int CurrentPosition() const { return Position; }
    const QStringList& Entries() const { return Items; }

private:
    QStringList Items;
    int Position = 0;
};
