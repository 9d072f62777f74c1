// The picture open dialog: every readable format in the filter list and a preview of the selected file.
#pragma once

#include <QString>

#include <optional>

class QWidget;

// Asks for a picture file (through the window's dialogs); nothing on Cancel.
std::optional<QString> ChoosePictureFile(QWidget* parent);
