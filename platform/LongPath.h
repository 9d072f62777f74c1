// The long form of a path named on the command line: absolute, with "." and ".." resolved and every
// symbolic link followed where the file system can tell.
#pragma once

#include <QString>

// An existing file gives its canonical path; a missing one its absolute path, relative to the process's
// current folder at the time of the call.
QString LongPathName(const QString& path);
