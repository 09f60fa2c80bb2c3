#pragma once
// Which icon the address bar shows for a text, by the rules of the address field: a special
// folder's name, an existing file (or a "file://" address), an existing folder, anything else
// (a web page, say), or nothing.

#include <QString>

// The shell's number for a special folder's name (compared after upper-casing), and the number
// that stands for no such folder.
inline constexpr int kNoSpecialFolder = 3000;
int SpecialFolderNumber(const QString& name);

// The folder that stands for special folder `number` on this desktop ("DESKTOP": the desktop
// folder, "MY COMPUTER": "/", ...); empty when there is none here or it does not exist.
QString SpecialFolderPath(int number);

enum class AddressIconKind {
    SpecialFolder, // a special folder's own icon (`specialFolder` tells which)
    File,          // the icon of the file `path` as the file list shows it
    Folder,
    WebPage, // the icon of an "*.htm" document
    Empty,   // the first icon of the icon list
};

struct AddressIconChoice {
    AddressIconKind kind = AddressIconKind::Empty;
    int specialFolder = kNoSpecialFolder;
    QString path; // the file, for File
    bool operator==(const AddressIconChoice&) const = default;
};

AddressIconChoice ChooseAddressIcon(const QString& text);
