#pragma once
// Where the program's own files are: its helper programs, the language file and whether the
// program runs installed. A build tree or a portable copy keeps everything beside the program;
// an installed program has its helpers in <libexecdir>/kelvane and its data in
// <datadir>/kelvane (the folders the build was configured to install into, found from the
// program's own folder, <bindir>).

#include "platform/FileNames.h" // ProgramFolder()

#include <QString>

namespace platform {

// The helper program `name`: beside the program when it is there, else in the installed
// helper folder; the path beside the program when neither exists (so that the error names it).
QString HelperProgramPath(const QString& name);

// The program runs from an installed layout: its helper folder and data folder exist beside
// its bin folder, and no helper lies beside the program itself.
bool IsInstalledProgram();

// The folder whose "lang.txt" the program reads: the program's own folder when the file is
// there, else the installed data folder when the program is installed.
QString LanguageFileFolder();

// The program runs as a portable copy and keeps its settings beside itself: it is not
// installed, its folder can be written, and a file named "portable" lies there. Any other
// program (a build tree, an installed one) keeps them per user. A Settings.ini beside the
// program does not count: a build tree keeps the one that earlier versions wrote there.
bool IsPortableProgram();

} // namespace platform
