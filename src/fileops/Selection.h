#pragma once
// Work lists from what the user selected: the file list's selected items (files and folders,
// folders optionally expanded into the matching files below them) or the folder tree's folder.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// One selected item of the file list, or the tree's selected node.
struct SelectedItem {
    QString path;           // full path; empty for an item that is not in the file system
    bool fileSystem = true; // a file-system object (not a virtual item)
    bool folder = false;
};

// What the main window's file list and folder tree show as selected. Tests and the headless
// program supply their own.
class SelectionSource {
public:
    virtual ~SelectionSource() = default;
    // The file list's selected items, in the list's item order (top to bottom).
    virtual QList<SelectedItem> SelectedItems() const = 0;
    // The folder tree's selected node; nothing when none is selected.
    virtual std::optional<SelectedItem> TreeFolder() const = 0;
    // The file list's file-type filter, ';'-separated masks.
    virtual QString FileFilter() const = 0;
};

// Scans a folder into a work list: the modal scanning window, or a plain scan without one.
class FolderScanner {
public:
    virtual ~FolderScanner() = default;
    // Appends the path of every file under `folder` (all sub-folders, depth first) whose name
    // matches a mask of `filter`. False when the folder does not exist or the scan was cancelled
    // (the entries found up to then stay appended). A malformed mask is shown as an error and
    // ends the scan, which then counts as complete.
    virtual bool ScanFolder(const QString& folder, const QString& filter, QStringList& target) = 0;
};

// Asks, at most once per walk, whether selected folders are to be expanded: the folder
// question of support/Preferences.h, whose remembered answer the preferences show. True for Yes.
bool AskProcessFolder();

// Clears `list`, then appends the selected file-system items in list order; with
// `expandFolders`, a folder is replaced by the files found under it (after AskProcessFolder
// said yes) or kept as its own path (after no).
void GatherSelection(const SelectionSource& source, FolderScanner& scanner, QStringList& list,
                     bool expandFolders);

// The files under the tree's folder; `list` stays empty when the node is not a file-system
// folder, and is emptied when the scan is cancelled.
void GatherTreeFolder(const SelectionSource& source, FolderScanner& scanner, QStringList& list);
