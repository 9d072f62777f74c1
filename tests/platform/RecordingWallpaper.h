// A desktop for the wallpaper tests: it holds a picture and a placement, and records every call.
#pragma once

#include "platform/Wallpaper.h"

#include <QStringList>

class TRecordingWallpaper : public IWallpaperBackend {
public:
    QString DesktopName = QStringLiteral("Fake");
    // The desktop's settings: the user's own picture, zoomed.
    TWallpaperValues Values{{QStringLiteral("picture"), QStringLiteral("/usr/share/backgrounds/mine.jpg")},
                            {QStringLiteral("placement"), QStringLiteral("zoom")}};
    // "Read", "SetPicture FILE STYLE", "Write picture=... placement=...".
    QStringList Calls;
    // Makes SetPicture fail with this message.
    QString FailWith;

    QString Name() const override { return DesktopName; }
    TWallpaperValues Read() override {
        Calls << QStringLiteral("Read");
        return Values;
    }
    QString PictureOf(const TWallpaperValues& values) const override { return values.value(QStringLiteral("picture")); }
    void SetPicture(const QString& file, TWallpaperStyle style) override {
        Calls << QStringLiteral("SetPicture %1 %2").arg(file).arg(int(style));
        if (!FailWith.isEmpty()) throw EWallpaperError(FailWith);
        Values[QStringLiteral("picture")] = file;
        Values[QStringLiteral("placement")] = QString::number(int(style));
    }
    void Write(const TWallpaperValues& values) override {
        QStringList parts;
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            parts << it.key() + QLatin1Char('=') + it.value();
        Calls << QStringLiteral("Write ") + parts.join(QLatin1Char(' '));
        Values = values;
    }
    int CountOf(const QString& prefix) const {
        int n = 0;
        for (const QString& c : Calls)
            n += c.startsWith(prefix) ? 1 : 0;
        return n;
    }
};
