#pragma once
// --help and --version of the window program. They are answered before the job grammar reads
// the command line (which ignores every switch it does not know) and before any display is
// looked for, so that they work over SSH, in scripts and in packaging checks.

#include <QString>
#include <QStringList>

enum class InformationRequest { None, Help, Version };

// The first of "--help" and "--version" among `arguments` (without the program's own name),
// each only as a whole argument; None when neither is there.
InformationRequest FindInformationRequest(const QStringList& arguments);

// The text of --help: the switches and names the program takes.
QString KelvaneUsage();
