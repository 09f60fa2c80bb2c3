#pragma once
// Folder identifiers of the navigation history and of the saved current folder. On Linux a
// folder is identified by its absolute path; these are the item ID-list utilities in that form.
// Paths hold undecodable bytes as platform::DecodeFileName gives them.

#include <QString>

// The identifier of `path`: absolute and cleaned ("/" for the root); empty stays empty.
QString IdListCopy(const QString& path);

// Both name the same folder (the file system tells names apart by case, so this does too).
bool IdListEqual(const QString& a, const QString& b);

// An identifier cut into the folder that holds the item and the item's own name.
struct IdListParts {
    QString parent; // "/" for an item of the root; empty for the root itself
    QString last;   // the item's name; empty for the root
};
IdListParts IdListSplit(const QString& id);

// The identifier still names a folder that can be reached from the root.
bool IdListIsValid(const QString& id);

// The name the folder tree shows for the folder: its own name, "/" for the root.
QString IdListDisplayName(const QString& id);

// The folder is the tree's root folder.
bool IdListIsRoot(const QString& id);
