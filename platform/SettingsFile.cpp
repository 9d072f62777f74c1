#include "platform/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

namespace {
QString GOverride;
}

TSettingsFile::TSettingsFile() : TSettingsFile(DefaultFileName()) {}

TSettingsFile::TSettingsFile(QString fileName) : FFileName(std::move(fileName)) { Load(); }

QString TSettingsFile::DefaultFileName() {
    if (!GOverride.isEmpty()) return GOverride;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lumenor/settings.json");
}

void TSettingsFile::SetDefaultFileName(const QString& fileName) { GOverride = fileName; }

void TSettingsFile::Load() {
    QFile file(FFileName);
    if (!file.exists()) return;
    if (!file.open(QIODevice::ReadOnly)) return; // unreadable: read as empty, never overwrite blindly
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        // Keep the damaged file beside for the user; start from an empty store.
        const QString bad = FFileName + QStringLiteral(".bad");
        QFile::remove(bad);
        QFile::rename(FFileName, bad);
        return;
    }
    FDocument = doc.object();
    FRoot = FDocument.value(QStringLiteral("Software")).toObject().value(QStringLiteral("Lumenor")).toObject();
}

QJsonObject TSettingsFile::Section(const QString& section) const { return FRoot.value(section).toObject(); }

bool TSettingsFile::SectionExists(const QString& section) const { return FRoot.value(section).isObject(); }

bool TSettingsFile::ValueExists(const QString& section, const QString& name) const {
    return Section(section).contains(name);
}

bool TSettingsFile::IsString(const QString& section, const QString& name) const {
    return Section(section).value(name).isString();
}

QStringList TSettingsFile::ValueNames(const QString& section) const { return Section(section).keys(); }

qint64 TSettingsFile::ReadInteger(const QString& section, const QString& name, qint64 def) const {
    const QJsonValue v = Section(section).value(name);
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (d >= -2147483648.0 && d <= 4294967295.0) return qint64(d);
        return def;
    }
    if (v.isString()) {
        bool ok = false;
        const qint64 n = v.toString().trimmed().toLongLong(&ok);
        return ok ? n : def;
    }
    return def;
}

bool TSettingsFile::ReadBool(const QString& section, const QString& name, bool def) const {
    return ReadInteger(section, name, def ? 1 : 0) != 0;
}

QString TSettingsFile::ReadString(const QString& section, const QString& name, const QString& def) const {
    const QJsonValue v = Section(section).value(name);
    if (v.isString()) return v.toString();
    if (v.isDouble()) return QString::number(qint64(v.toDouble()));
    return def;
}

void TSettingsFile::SetValue(const QString& section, const QString& name, const QJsonValue& value) {
    QJsonObject s = Section(section);
    if (s.value(name) == value) return;
    s.insert(name, value);
    FRoot.insert(section, s);
    FDirty = true;
}

void TSettingsFile::WriteInteger(const QString& section, const QString& name, qint64 value) {
    if (IsString(section, name))
        SetValue(section, name, QString::number(value));
    else
        SetValue(section, name, double(value));
}

void TSettingsFile::WriteBool(const QString& section, const QString& name, bool value) {
    SetValue(section, name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TSettingsFile::WriteString(const QString& section, const QString& name, const QString& value) {
    SetValue(section, name, value);
}

void TSettingsFile::EraseSection(const QString& section) {
    if (FRoot.contains(section)) {
        FRoot.remove(section);
        FDirty = true;
    }
}

bool TSettingsFile::Flush() {
    if (!FDirty) return true;
    QJsonObject software = FDocument.value(QStringLiteral("Software")).toObject();
    software.insert(QStringLiteral("Lumenor"), FRoot);
    FDocument.insert(QStringLiteral("Software"), software);
    QDir().mkpath(QFileInfo(FFileName).absolutePath());
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(QJsonDocument(FDocument).toJson(QJsonDocument::Indented));
    if (!file.commit()) return false;
    FDirty = false;
    return true;
}
