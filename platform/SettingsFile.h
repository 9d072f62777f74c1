// A per-user hierarchical key-value store in a JSON file, standing in for a registry key.
// The file mirrors the key tree ("Software" / "Lumenor" / section / value) and keeps numbers and strings
// apart. Writes replace the file atomically; a file that cannot be parsed is moved aside as "<name>.bad"
// and the store starts empty.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>

class TSettingsFile {
public:
    // Opens the store at the default location ($XDG_CONFIG_HOME/lumenor/settings.json).
    TSettingsFile();
    explicit TSettingsFile(QString fileName);

    static QString DefaultFileName();
    // Overrides the default location for the whole process (tests); empty restores it.
    static void SetDefaultFileName(const QString& fileName);

    const QString& FileName() const { return FFileName; }

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& name) const;
    bool IsString(const QString& section, const QString& name) const;
    QStringList ValueNames(const QString& section) const;

    // A number is used directly; a string is parsed as a decimal integer, def when it does not parse.
    qint64 ReadInteger(const QString& section, const QString& name, qint64 def) const;
    bool ReadBool(const QString& section, const QString& name, bool def) const;
    QString ReadString(const QString& section, const QString& name, const QString& def = QString()) const;

    // An integer written over an existing string value is written as its decimal text.
    void WriteInteger(const QString& section, const QString& name, qint64 value);
    void WriteBool(const QString& section, const QString& name, bool value); // "0" / "1"
    void WriteString(const QString& section, const QString& name, const QString& value);
    void EraseSection(const QString& section);

    // Writes the file if anything changed. Returns false when the write failed.
    bool Flush();

private:
    void Load();
    QJsonObject Section(const QString& section) const;
    void SetValue(const QString& section, const QString& name, const QJsonValue& value);

    QString FFileName;
    QJsonObject FRoot;     // the sections
    QJsonObject FDocument; // the whole document, with the sections under Software/Lumenor
    bool FDirty = false;
};
