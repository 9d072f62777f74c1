// The tables of formats the program registers at start: extension, descriptions and the class by name.
#pragma once

#include <QString>

#include <vector>

// One row of the start-up table.
struct TStartupFormat {
    const char* Extension;
    const char* Common;
    const char* Individual;
    const char* ClassName;
};
const std::vector<TStartupFormat>& StartupTable();
// The start-up row of an extension, or nullptr.
const TStartupFormat* FindStartupFormat(const QString& extension);
// The second table: today's formats (WebP, AVIF, HEIF, JPEG XL, camera RAW, OpenEXR), registered after
// the start-up table, which it leaves as it is.
const std::vector<TStartupFormat>& ModernFormatTable();

// An extension as the registries compare it: without a leading dot, in lower case.
QString NormalisedExtension(QString extension);
