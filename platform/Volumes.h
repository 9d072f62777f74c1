// The volumes (mounted file systems) a folder chooser offers, as a drive box lists drives: each by its
// root folder and a name to show.
#pragma once

#include <QList>
#include <QString>

struct TVolume {
    QString RootPath; // "/", "/home", "/media/me/CARD"
    QString Label;    // what the box shows: the root and, when there is one, the volume's name or device
};

// The mounted volumes that are ready to be read, real file systems only (no /proc, /sys, ...), ordered
// by their root folders. The root "/" is always among them.
QList<TVolume> MountedVolumes();

// The root of the volume that holds path (an existing folder or file); "/" when none is found.
QString VolumeRootOf(const QString& path);
