// The folder being browsed: its picture files filtered by a mask, sorted by name, with at most one
// selected. The folder is the process's current folder. The browse routines step through the entries;
// previous and next wrap around at the ends.
#pragma once

#include "codec/Graphic.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

// A command that cannot be carried out as asked ("Invalid file name - ...").
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// A file-name mask: patterns separated by ";", "*" and "?" wildcards, matched case-insensitively. A
// literal mask names one file exactly (its name may hold "*", "?", "[" or ";").
class TFileMask {
public:
    TFileMask() = default;
    explicit TFileMask(const QString& patterns, bool literal = false);

    const QString& Text() const { return FText; }
    bool Literal() const { return FLiteral; }
    bool Matches(const QString& name) const;

private:
    QString FText;
    bool FLiteral = false;
    bool FAll = false;
    QStringList FSuffixes;            // "*.ext" patterns as ".ext"
    std::vector<QString> FWildcards;  // the other patterns, as they are
};

class TFileList : public QObject {
    Q_OBJECT
public:
    // Lists the process's current folder with the mask.
    explicit TFileList(const QString& mask = QStringLiteral("*.*"), QObject* parent = nullptr);

    const QString& Directory() const { return FDirectory; }
    // Makes the folder the current one (also the process's) and reads it; the selection is lost.
    void SetDirectory(const QString& directory);
    const TFileMask& Mask() const { return FMask; }
    QString MaskText() const { return FMask.Text(); }
    // Reads the folder again with the new mask; the selection is lost.
    void SetMask(const QString& patterns);
    void SetLiteralMask(const QString& fileName);

    const QStringList& Items() const { return FItems; }
    int Count() const { return int(FItems.size()); }
    int ItemIndex() const { return FItemIndex; }
    // -1 selects nothing; anything outside the entries is ignored.
    void SetItemIndex(int index);
    // The selected file's full path; empty when nothing is selected.
    QString FileName() const;
    QString FullPath(int index) const;

    // Selects a path: moves to its folder; a name with "*" or "?" that names no file becomes the mask;
    // otherwise selects the file, narrowing the mask to its name when the mask hides it. Raises
    // EInvalidOperation "Invalid file name - PATH" when the file does not exist. A folder is moved to
    // with nothing selected.
    void SelectPath(const QString& path);
    // Reads the folder again with the current mask; the selection is lost.
    void Update();

    // The browse routines: each selects an entry and returns true, or returns false when there is
    // nothing to step to. Previous and next need two entries and wrap around at the ends.
    bool BrowsePrevious();
    bool BrowseNext();
    bool BrowseFirst();
    bool BrowseLast();
    // When the browse commands are enabled; these stop at the ends.
    bool CanBrowsePrevious() const { return Count() >= 2 && FItemIndex > 0; }
    bool CanBrowseNext() const { return Count() >= 2 && FItemIndex < Count() - 1; }
    bool CanBrowseEnds() const { return Count() > 0; }

    // Reads the matching names of a folder, each once, sorted case-insensitively. A folder that cannot
    // be read gives an empty list. The hourglass is shown from the 101st entry on.
    static QStringList ReadFolder(const QString& directory, const TFileMask& mask);

signals:
    // The folder, the mask or the entries changed (the selection is lost then).
    void ListChanged();
    void SelectionChanged(int index);

private:
    void Read();

    QString FDirectory;
    TFileMask FMask;
    QStringList FItems;
    int FItemIndex = -1;
};
