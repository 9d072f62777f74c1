// The help viewer: the HTML manual shipped next to the program, opened in the desktop's browser.
#pragma once

#include <QString>

// The manual's folder for a program file: "manual" beside it, else the installed documentation folder
// ("../share/doc/lumenor/manual" from the program's folder). Empty when neither exists.
QString HelpFolderFor(const QString& programFile);

enum class THelpPage { hpContents, hpIndex };

// The file of a page of the manual in a help folder.
QString HelpPageFile(const QString& helpFolder, THelpPage page);

// Opens the page in the desktop's browser. Returns false (and opens nothing) when the page does not exist
// or the desktop cannot show it.
bool ShowHelp(const QString& helpFolder, THelpPage page);
