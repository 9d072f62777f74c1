// The format registries: the framework list that maps extensions to graphic classes (newest entry wins),
// the central list of the start-up table with its class entries and content tests, and the filter text.
#pragma once

#include "codec/FormatTable.h"
#include "codec/Graphic.h"

#include <QString>
#include <QStringList>

#include <vector>

// Framework registry: one entry per registration, in registration order.
struct TFileFormat {
    QString Extension; // lower-case, without the dot
    QString Description;
    TGraphicClass GraphicClass = nullptr;
};

class TFileFormatsList {
public:
    void Add(const QString& extension, const QString& description, TGraphicClass graphicClass);
    // Newest entry first, case-insensitive; nullptr when nothing matches.
    TGraphicClass FindExt(const QString& extension) const;
    const std::vector<TFileFormat>& Entries() const { return FEntries; }
    void Clear() { FEntries.clear(); }

private:
    std::vector<TFileFormat> FEntries;
};

// Central list: extension entries in registration order and class entries in order of first registration.
class TFileFormatList {
public:
    struct TExtensionEntry {
        QString Extension; // as registered
        QString Individual;
        int ClassIndex = -1;
    };
    struct TClassEntry {
        TGraphicClass GraphicClass = nullptr;
        QString Common;
        int Count = 0;
    };

    // Raises EInvalidGraphicOperation "Attempt to register %s twice." for an extension already present.
    void Register(const QString& extension, const QString& common, const QString& individual,
                  TGraphicClass graphicClass);
    const std::vector<TExtensionEntry>& Extensions() const { return FExtensions; }
    const std::vector<TClassEntry>& Classes() const { return FClasses; }
    // Asks the content-testable classes, in class-entry order, whether the open stream holds their format.
    TGraphicClass FindClassByContent(QIODevice& stream) const;
    void Clear();

private:
    std::vector<TExtensionEntry> FExtensions;
    std::vector<TClassEntry> FClasses;
};

TFileFormatsList& FileFormats();
TFileFormatList& CentralFormats();

// Appends an entry to the framework registry (no duplicate check; later entries hide earlier ones).
void RegisterFormat(const QString& extension, const QString& description, TGraphicClass graphicClass);
// Lookup by extension (with or without the leading dot), newest registration first.
TGraphicClass GraphicClassByExtension(QString extension);
// Opens the file (errors propagate as EInvalidGraphic) and asks the content tests; nullptr when none accepts.
TGraphicClass FindClassByContent(const QString& fileName);

// Creates an empty graphic of the class that would load fileName: the content tests first, then the
// extension. Raises EInvalidGraphic when neither names a class.
std::unique_ptr<TGraphic> CreateGraphicFor(const QString& fileName);

// Catalogue of the graphic classes built into the program, by class name.
void RegisterGraphicClass(TGraphicClass graphicClass);
TGraphicClass FindGraphicClass(const QString& className);

// Registers every row of the start-up table whose class is in the catalogue, in table order.
void RegisterStartupTable();
// Rows of the start-up table whose class is not built in (their files cannot be opened yet).
std::vector<TStartupFormat> MissingStartupFormats();

// Registers every row of the second table whose class is in the catalogue, in table order.
void RegisterModernTable();

// The filter text of the file list: "description|patterns|..." for every pair.
QString GraphicFilter();
// The open dialog's variant: the "All images" list without its last 12 patterns.
QString OpenDialogFilter();
// The same texts with the second table's formats: their patterns appended to "All images" and a line
// of their own for each class after the start-up table's lines. Only classes built in are named.
QString FullGraphicFilter();
QString FullOpenDialogFilter();
