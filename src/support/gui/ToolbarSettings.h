#pragma once
// Remembers where the toolbars of a main window are: one section per bar, named `prefix`
// followed by the bar's objectName, in the settings file at `filePath` (read and written
// through an IniFile object of their own, which is safe because nothing is cached).
//
// Keys: "Rev" (2000), "Visible" (1/0), "DockedTo" (the dock holding the bar: "tbDockTop",
// "tbDockBottom", "tbDockLeft" or "tbDockRight" for Qt's four toolbar areas; "+" when the bar
// floats; empty when the bar cannot be moved), "LastDock" (the area the bar belongs to, also
// while it floats), "DockRow", "DockPos", "FloatLeft", "FloatTop", and "FloatRightX" (the
// bar's width) for toolbars or "ClientWidth"/"ClientHeight" for the address bar
// ("twAddressBar").
//
// Rows and positions: Qt lays the bars of an area out in lines separated by toolbar breaks.
// "DockRow" is the 0-based line of the area (lines counted from the window's edge inwards, as
// Qt orders them); "DockPos" is the 0-based place of the bar within its line. Qt packs the bars
// of a line itself, so pixel offsets are not kept. Loading re-adds the placed bars area by
// area in (DockRow, DockPos) order, with a toolbar break before each new line.

#include <QString>

class QMainWindow;

inline constexpr int kToolbarSettingsRevision = 2000;

// Raises KelvaneError "Cannot save dockable window's position because Name property is not
// set" (a bar without objectName) or "... because DockedTo's Name property not set" (a bar in
// a dock without a name) before anything is written, and "Unable to write to <path>" when the
// file refuses a write. A bar that is neither docked nor floating is not written.
void SaveToolbarPositions(QMainWindow* window, const QString& filePath,
                          const QString& sectionPrefix);

// A section whose "Rev" is missing or not 2000 leaves its bar as it is. Otherwise the bar's
// visibility follows "Visible"; a non-empty "DockedTo" places it: floating at FloatLeft/FloatTop
// for "+", else into the named area at its row and position, when the bar may go there.
void LoadToolbarPositions(QMainWindow* window, const QString& filePath,
                          const QString& sectionPrefix);

// The dock name of a toolbar area, and back (Qt::NoToolBarArea for an unknown name).
QString DockName(int toolBarArea);
int DockArea(const QString& dockName);
