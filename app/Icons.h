// The program's icons: the window icon, and the icons of the commands, taken from the desktop's icon
// theme by their freedesktop names and otherwise from the program's own set (app/icons).
#pragma once

#include <QIcon>
#include <QString>

QIcon ProgramIcon();
// The theme's icon of that name, else the program's own.
QIcon ThemeIcon(const QString& name);
