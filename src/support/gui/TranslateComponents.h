#pragma once
// Translation of the texts stored in windows: captions, hints, items and titles.

#include <QString>

class QObject;

// "Application" for no component; a window's class name (namespace stripped; standard message
// boxes are "TMessageForm"); otherwise the section of its owner.
QString SectionFor(const QObject* component);

// Translates `component` and everything it owns.
void TranslateComponent(QObject* component);

// Translates the application title and every window registered at start-up, once only.
void TranslateAll();

// Start-up windows in creation order; TranslateAll walks them in that order.
void RegisterStartupWindow(QObject* window);
