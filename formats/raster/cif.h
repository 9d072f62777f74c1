// The encrypted picture container: the unchanged bytes of another picture file, encrypted with Blowfish,
// Twofish, CAST-128 or Rijndael under a key derived from a password with SHA-1.
#pragma once

#include "codec/Graphic.h"

#include <functional>
#include <memory>

enum class TCifAlgorithm : quint8 { Blowfish = 4, Twofish = 5, Cast128 = 6, Rijndael = 7 };

// Case flag values: 0 upper-cases the password before use; 2 uses it as typed. Older files may carry any
// other non-zero value, which leaves the password out of the key; they are read, never written.
constexpr quint8 kCifCaseInsensitive = 0;
constexpr quint8 kCifCaseSensitive = 2;

struct TCifHeader {
    quint8 Algorithm = 4;
    quint8 CaseFlag = 0;
    QByteArray Salt;       // 5 bytes
    QByteArray CheckBlock; // 8 bytes
    quint16 CheckValue = 0;
    quint32 FileBlockOffset = 38;
    QString Extension; // upper case, at most 4 characters
    quint32 PlainSize = 0;
};

class TCIFGraphic : public TGraphic {
    DECLARE_GRAPHIC_CLASS(TCIFGraphic)
public:
    TCIFGraphic();
    ~TCIFGraphic() override;

    void LoadFromStream(QIODevice& stream) override;
    // Encrypts the plain file (or the plain bytes, when given) into the stream.
    void SaveToStream(QIODevice& stream) const override;
    // "password", "cipher" (blowfish, twofish, cast128, rijndael or 4..7), "case-sensitive" (0/1).
    bool SetSaveOption(const QString& key, const QString& value) override;

    void DrawTo(QPainter& canvas, const QRect& rect) const override;
    bool IsEmpty() const override { return FEmpty; }
    int Width() const override { return FInner ? FInner->Width() : FWidth; }
    int Height() const override { return FInner ? FInner->Height() : FHeight; }
    void SetWidth(int w) override;
    void SetHeight(int h) override;
    void SaveToClipboardData(QMimeData& data) const override;
    void LoadFromClipboardData(const QMimeData&) override {}
    void CopyInto(TGraphic& target) const override;
    int FrameCount() const override { return FInner ? FInner->FrameCount() : 1; }
    QImage ToImage(QSize size = QSize(), TColor background = 0xFFFFFF) const override;
    QImage ToBitmap() const override;

    TGraphic* Inner() const { return FInner.get(); }
    const QString& PlainFileName() const { return FPlainFileName; }
    void SetPlainFileName(const QString& name) {
        FPlainFileName = name;
        FPlainData.clear();
        FPlainExtension.clear();
    }
    // Bytes to encrypt in place of a file, with the extension of the format they hold (no file is read).
    void SetPlainData(const QByteArray& bytes, const QString& extension) {
        FPlainFileName.clear();
        FPlainData = bytes;
        FPlainExtension = extension;
    }
    quint8 Algorithm() const { return FAlgorithm; }
    void SetAlgorithm(quint8 algorithm) { FAlgorithm = algorithm; }
    quint8 CaseFlag() const { return FCaseFlag; }
    void SetCaseFlag(quint8 flag) { FCaseFlag = flag; }
    const QString& Password() const { return FPassword; }
    void SetPassword(const QString& password) { FPassword = password; }

    // Reads the headers, asks for the password until the key check matches, and returns the decrypted
    // inner file. The header is filled in.
    QByteArray Decrypt(QIODevice& stream, TCifHeader& header);

    // Source of the random bytes of a new file (the system's secure generator unless a test replaces it).
    static void SetRandomSource(std::function<void(uchar*, int)> source);

private:
    std::unique_ptr<TGraphic> FInner;
    int FWidth = 0;
    int FHeight = 0;
    bool FEmpty = true;
    QString FPlainFileName;
    QByteArray FPlainData;
    QString FPlainExtension;
    quint8 FAlgorithm = 4;
    quint8 FCaseFlag = 0;
    QString FPassword;
};

void RegisterCifFormat();
