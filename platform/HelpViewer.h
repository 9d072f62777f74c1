// The help viewer: the HTML manual, opened in the desktop's browser.
#pragma once

#include <QString>

// The manual's folder for a program file: "manual" beside the program (the build folder), else the
// installed data folder found from the program's place ("../share/lumenor/manual", so a moved prefix
// still finds it), else the data folder of the install prefix the program was built for. Empty when
// none holds the manual.
QString HelpFolderFor(const QString& programFile);
// The same, with the install prefix's data folder given (the one the build compiles in).
QString HelpFolderFor(const QString& programFile, const QString& installedDataFolder);

enum class THelpPage { hpContents, hpIndex };

// The file of a page of the manual in a help folder.
QString HelpPageFile(const QString& helpFolder, THelpPage page);

// Opens the page in the desktop's browser. Returns false (and opens nothing) when the page does not exist
// or the desktop cannot show it.
bool ShowHelp(const QString& helpFolder, THelpPage page);
