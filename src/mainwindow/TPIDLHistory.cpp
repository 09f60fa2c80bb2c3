#include "mainwindow/TPIDLHistory.h"

#include "mainwindow/FolderIds.h"

const QString& TPIDLHistory::Add(const QString& id) {
    if (!Items.isEmpty()) {
        Items.resize(Position + 1);
        ++Position;
    }
    Items.append(id);
    Position = int(Items.size() - 1);
    return Items.last();
}

std::optional<QString> TPIDLHistory::AddCopy(const QString& id) {
    const QString copy = IdListCopy(id);
    if (copy.isEmpty())
        return std::nullopt;
    return Add(copy);
}

std::optional<QString> TPIDLHistory::Back(int n) {
    if (!CanBack(n))
        return std::nullopt;
    Position -= n;
    return Items.at(Position);
}

std::optional<QString> TPIDLHistory::Forward(int n) {
    if (!CanForward(n))
        return std::nullopt;
    Position += n;
    return Items.at(Position);
}

std::optional<QString> TPIDLHistory::Peek(int offset) const {
    const qsizetype index = qsizetype(Position) + offset;
    if (Items.isEmpty() || index < 0 || index >= Items.size())
        return std::nullopt;
    return Items.at(index);
}

void TPIDLHistory::Clear() {
    Items.clear();
    Position = 0;
}
