// Base of the two-colour formats that keep the file's bytes: saving writes them back unchanged, and the
// decoded 1-bit picture (index 0 black, index 1 white) is what is shown.
#pragma once

#include "codec/DibGraphic.h"

#include <QByteArray>

class TMonoRawGraphic : public TDibGraphic {
public:
    bool IsEmpty() const override { return FData.isNull(); }
    // Copies the whole stream from its start, then decodes it.
    void ReadPage(QIODevice& stream, int page) override;
    // Writes the loaded bytes unchanged; "Data buffer is empty" when nothing was loaded.
    void SaveToStream(QIODevice& stream) const override;
    // Only the same class is accepted, and only the picture is copied (not the file's bytes).
    void Assign(const TGraphic& source) override;
    void LoadFromClipboardData(const QMimeData&) override {}
    const QByteArray& RawData() const { return FData; }

protected:
    // Decodes FData into FImage.
    virtual void Decode() = 0;
    // Loading reads at most this many bytes of the file.
    static constexpr qint64 kMaxFileSize = qint64(64) << 20;
    // For a header probe: moves to the file's start, as loading does; false when the stream cannot be
    // read that way (sequential) or loading would refuse its size.
    static bool RewindForInfo(QIODevice& stream);
    static QImage NewMonoImage(int width, int height);

    QByteArray FData; // reference counted: copies of the graphic share it
};
