// The program's icons: the window icon and the icons of the window's commands.
#pragma once

#include <QIcon>

QIcon ProgramIcon();
