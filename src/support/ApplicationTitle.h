#pragma once
// The application title: the caption of every message box and part of the keys of remembered
// answers.

#include <QString>

// The untranslated title; also the name of the instance marker.
inline const QString kApplicationTitle = QStringLiteral("Mondavik Kelvane");

// The title after translation (section "Application").
QString ApplicationTitle();
