#pragma once
// QScintilla's headers use Qt's keyword macros, which the project switches off: include them
// through here.

#include <QObject>
#define slots Q_SLOTS
#define signals Q_SIGNALS
#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>
#include <Qsci/qscilexerhtml.h>
#include <Qsci/qsciscintilla.h>
#undef slots
#undef signals
