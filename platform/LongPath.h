// The long form of a path named on the command line: absolute, with "." and ".." removed. Symbolic
// links are kept as named, so a file reached through a linked folder is browsed in that folder.
#pragma once

#include <QString>

// Relative paths are taken from the process's current folder at the time of the call.
QString LongPathName(const QString& path);
