// The graphic contract: every picture format is a class derived from TGraphic that loads itself from a
// stream, reports its size and draws itself stretched into a rectangle.
#pragma once

#include "codec/Errors.h"
#include "codec/GraphicInfo.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QVector>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QIODevice;
class QMimeData;
class QPainter;

// 24-bit colour with red in the low byte.
using TColor = quint32;
inline QColor ToQColor(TColor c) { return QColor(int(c & 0xff), int((c >> 8) & 0xff), int((c >> 16) & 0xff)); }
inline TColor FromQColor(const QColor& c) {
    return TColor(c.red()) | (TColor(c.green()) << 8) | (TColor(c.blue()) << 16);
}

class TGraphic;

// The class of a graphic: its name, its virtual constructor and, for content-testable classes, the
// test that says whether a stream holds the format (and leaves the stream position unchanged).
struct TGraphicClassInfo {
    QString ClassName;
    std::function<std::unique_ptr<TGraphic>()> Create;
    std::function<bool(QIODevice&)> AcceptsContent;

    bool IsContentTestable() const { return bool(AcceptsContent); }
};
using TGraphicClass = const TGraphicClassInfo*;

enum class TProgressStage : quint8 { psStarting = 0, psRunning = 1, psEnding = 2 };

using TNotifyEvent = std::function<void(TGraphic* sender)>;
using TProgressEvent = std::function<void(TGraphic* sender, TProgressStage stage, quint8 percentDone,
                                          bool redrawNow, const QRect& r, const QString& msg)>;

class TGraphic {
public:
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;
    virtual ~TGraphic();

    virtual TGraphicClass ClassType() const = 0;
    QString ClassName() const { return ClassType()->ClassName; }
    // True when this graphic's class is cls or derives from it (by the class chain each format declares).
    template <class T> bool Is() const { return dynamic_cast<const T*>(this) != nullptr; }

    // Copy this graphic's content into target; raises EConvertError for targets it does not know.
    virtual void CopyInto(TGraphic& target) const;
    // Take a copy of source's content. The default asks source to copy itself into this graphic.
    virtual void Assign(const TGraphic& source);
    // Raises OnChange.
    virtual void NotifyChanged();
    // Renders the whole picture stretched into rect.
    virtual void DrawTo(QPainter& canvas, const QRect& rect) const = 0;
    virtual bool IsEmpty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int) {}
    virtual void SetHeight(int) {}
    virtual QVector<QRgb> Palette() const { return {}; }
    virtual void SetPalette(const QVector<QRgb>&) {}
    virtual bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool value) { FTransparent = value; }

    // Opens the file for reading and calls LoadFromStream.
    virtual void LoadFromFileName(const QString& fileName);
    // Writes through a temporary file in the target folder that replaces the target only on success.
    virtual void SaveToFileName(const QString& fileName) const;
    // Decodes from the stream's current position; raises on bad data, raises OnChange on success.
    virtual void LoadFromStream(QIODevice& stream) = 0;
    // Encodes; formats that cannot write raise EInvalidGraphicOperation.
    virtual void SaveToStream(QIODevice& stream) const;
    virtual void LoadFromClipboardData(const QMimeData& data);
    virtual void SaveToClipboardData(QMimeData& data) const;

    // Save options by name ("quality", "progressive", ...). Returns false for a key the format does
    // not know; raises EInvalidGraphicOperation for a value it cannot take.
    virtual bool SetSaveOption(const QString& key, const QString& value);

    // Reads the size and the frame count from the stream's headers without decoding pixels, from the
    // stream's current position (which it leaves anywhere). False when the format has to decode to know
    // them. Raises as LoadFromStream would for a header that is not valid or a picture over the limit.
    virtual bool ReadInfo(QIODevice& stream, TGraphicInfo& info);

    // Loads decode at the smallest size not below atLeast in both directions where the format can
    // scale while it decodes (JPEG by 1/2, 1/4 or 1/8); the others decode in full. An invalid size (the
    // default) asks for the full picture.
    void SetLoadSize(QSize atLeast) { FLoadSize = atLeast; }
    QSize LoadSize() const { return FLoadSize; }
    // The size of the picture as stored. It differs from Width x Height only after a reduced load.
    virtual QSize FullSize() const { return QSize(Width(), Height()); }
    // True when the last load kept less than the whole picture (a reduced decode, a camera's preview).
    virtual bool Reduced() const { return FullSize() != QSize(Width(), Height()); }
    // Decodes what a reduced load left out; nothing for formats without reduced loads. Formats that
    // cannot complete a load in place leave Reduced() true: the caller then loads afresh at full size.
    virtual void CompleteLoad() {}

    // Frames of an animation (1 for still pictures) and the frame shown, 1-based. Selecting a frame that
    // does not exist raises EInvalidGraphicOperation.
    virtual int FrameCount() const { return 1; }
    virtual int CurrentFrame() const { return 1; }
    virtual void SelectFrame(int frame);

    // Moving pictures (animated GIF, animated cursor, video) play by themselves on a timer of the
    // thread that starts them; every frame shown raises OnChange, so CurrentFrame is the frame-changed
    // notification's news. Play continues from the frame shown, Pause keeps it, Stop pauses and shows
    // the first frame. Pictures that do not move ignore all three.
    virtual bool IsAnimation() const { return false; }
    virtual void Play() {}
    virtual void Pause() {}
    virtual bool Playing() const { return false; }
    void Stop();

    // The picture as a 32-bit image of the given size (its own size when empty), drawn on background.
    virtual QImage ToImage(QSize size = QSize(), TColor background = 0xFFFFFF) const;
    // The picture at its own size as a bitmap for a raster format to take over, keeping its
    // transparency where it has one. The default draws it on white (ToImage).
    virtual QImage ToBitmap() const { return ToImage(); }

    // True when the last load found the data cut short: decoding ended early, the picture kept its
    // declared size and the part that never arrived shows the background.
    bool Truncated() const { return FTruncated; }

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

protected:
    void Progress(TProgressStage stage, quint8 percentDone, bool redrawNow = false, const QRect& r = QRect(),
                  const QString& msg = QString());
    // Raises "Cannot assign a <source class> to a <this class>".
    [[noreturn]] void RaiseConvertError(const TGraphic& source) const;
    void SetTruncated(bool value) { FTruncated = value; }

private:
    bool FTransparent = false;
    bool FTruncated = false;
    QSize FLoadSize;
};

// Declares the class descriptor of a graphic class; DEFINE_GRAPHIC_CLASS goes into its source file.
#define DECLARE_GRAPHIC_CLASS(T)                                                                           \
public:                                                                                                    \
    static TGraphicClass StaticClass();                                                                    \
    TGraphicClass ClassType() const override { return StaticClass(); }

#define DEFINE_GRAPHIC_CLASS(T)                                                                            \
    TGraphicClass T::StaticClass() {                                                                       \
        static const TGraphicClassInfo info{QStringLiteral(#T), [] { return std::unique_ptr<TGraphic>(new T); }, \
                                            {}};                                                           \
        return &info;                                                                                      \
    }

// For content-testable classes: T must have `static bool AcceptsContent(QIODevice&)`.
#define DEFINE_CONTENT_GRAPHIC_CLASS(T)                                                                    \
    TGraphicClass T::StaticClass() {                                                                       \
        static const TGraphicClassInfo info{QStringLiteral(#T), [] { return std::unique_ptr<TGraphic>(new T); }, \
                                            &T::AcceptsContent};                                           \
        return &info;                                                                                      \
    }
