// Where the program's modules are found (the video module, the commands of lumenor-cli) and how they
// are loaded: shared libraries of ours, opened when first needed so that a program start does not pay
// for the libraries they bring.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The folders a module is looked for in, in order: $LUMENOR_MODULE_DIR when fromEnvironment (only it when
// LUMENOR_MODULE_NO_FALLBACK=1), the program's folder, the module folder relative to it (a moved or
// packaged install), the build folder for the programs built there, and the installed module folder.
QStringList ModuleSearchPath(bool fromEnvironment);

// Opens fileName from the first folder that has it and hands its entry symbol to accept, which says
// whether the module is one it can use; the module stays loaded either way. Gives an empty text on
// success, else why no module was taken: the error of a module that is there but does not load (or is
// refused) counts over "not found" in other folders.
QString LoadModule(const char* fileName, const char* entry, bool fromEnvironment,
                   const std::function<bool(void* entry)>& accept);
