#include "formats/raster/cif.h"

#include "codec/Registry.h"
#include "codec/Services.h"
#include "codec/Stream.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <nettle/aes.h>
#include <nettle/blowfish.h>
#include <nettle/cast128.h>
#include <nettle/sha1.h>
#include <nettle/twofish.h>

#include <cstring>

DEFINE_GRAPHIC_CLASS(TCIFGraphic)

void RegisterCifFormat() {
    RegisterFormat(QStringLiteral("CIF"), QStringLiteral("Encrypted Image File"), TCIFGraphic::StaticClass());
}

namespace {

constexpr int kMainHeaderSize = 38;
constexpr int kFileBlockSize = 23;
constexpr int kChunk = 4096;
constexpr int kMaxNesting = 4;
thread_local int GNesting = 0;

std::function<void(uchar*, int)>& RandomSource() {
    static std::function<void(uchar*, int)> source;
    return source;
}

void RandomBytes(uchar* out, int n) {
    if (RandomSource()) {
        RandomSource()(out, n);
        return;
    }
    for (int i = 0; i < n; ++i) out[i] = uchar(QRandomGenerator::system()->bounded(256));
}

QString FormatMessage(const QString& what) {
    return QStringLiteral("Cannot load image. Invalid or unexpected %1 image format.").arg(what);
}

// One of the four block ciphers with the container's chaining: CBC for full blocks, and for a final
// part shorter than a block the output of E(F) as a key stream.
class TCifCipher {
public:
    TCifCipher(quint8 algorithm, const QByteArray& keyString) {
        uint8_t digest[SHA1_DIGEST_SIZE];
        sha1_ctx sha;
        sha1_init(&sha);
        sha1_update(&sha, size_t(keyString.size()), reinterpret_cast<const uint8_t*>(keyString.constData()));
        sha1_digest(&sha, sizeof digest, digest);
        uint8_t key24[24] = {};
        std::memcpy(key24, digest, 20);
        FAlgorithm = algorithm;
        switch (algorithm) {
        case 4:
            blowfish_set_key(&FBlowfish, 20, digest);
            FBlock = 8;
            break;
        case 5:
            twofish_set_key(&FTwofish, 24, key24); // the 20-byte key extended with zeros
            FBlock = 16;
            break;
        case 6:
            cast128_set_key(&FCast, digest);
            FBlock = 8;
            break;
        case 7:
            aes192_set_encrypt_key(&FAesEncrypt, key24);
            aes192_invert_key(&FAesDecrypt, &FAesEncrypt);
            FBlock = 16;
            break;
        default:
            throw EInvalidGraphic(QStringLiteral("Unsupported encryption algorithm"));
        }
    }

    int BlockSize() const { return FBlock; }
    void SetFeedback(const uchar* iv8) {
        std::memset(FFeedback, 0, sizeof FFeedback);
        std::memcpy(FFeedback, iv8, 8);
    }

    void Encrypt(uchar* data, qint64 n) {
        qint64 i = 0;
        for (; i + FBlock <= n; i += FBlock) {
            for (int k = 0; k < FBlock; ++k) data[i + k] ^= FFeedback[k];
            EncryptBlock(data + i, data + i);
            std::memcpy(FFeedback, data + i, size_t(FBlock));
        }
        if (i < n) FinalPart(data + i, int(n - i));
    }

    void Decrypt(uchar* data, qint64 n) {
        qint64 i = 0;
        uchar cipher[16];
        for (; i + FBlock <= n; i += FBlock) {
            std::memcpy(cipher, data + i, size_t(FBlock));
            DecryptBlock(data + i, data + i);
            for (int k = 0; k < FBlock; ++k) data[i + k] ^= FFeedback[k];
            std::memcpy(FFeedback, cipher, size_t(FBlock));
        }
        if (i < n) FinalPart(data + i, int(n - i));
    }

private:
    void FinalPart(uchar* data, int n) {
        uchar k[16];
        EncryptBlock(FFeedback, k);
        for (int j = 0; j < n; ++j) data[j] ^= k[j];
        for (int j = 0; j < FBlock; ++j) FFeedback[j] ^= k[j];
    }
    void EncryptBlock(const uchar* in, uchar* out) {
        switch (FAlgorithm) {
        case 4: blowfish_encrypt(&FBlowfish, 8, out, in); break;
        case 5: twofish_encrypt(&FTwofish, 16, out, in); break;
        case 6: cast128_encrypt(&FCast, 8, out, in); break;
        default: aes192_encrypt(&FAesEncrypt, 16, out, in); break;
        }
    }
    void DecryptBlock(const uchar* in, uchar* out) {
        switch (FAlgorithm) {
        case 4: blowfish_decrypt(&FBlowfish, 8, out, in); break;
        case 5: twofish_decrypt(&FTwofish, 16, out, in); break;
        case 6: cast128_decrypt(&FCast, 8, out, in); break;
        default: aes192_decrypt(&FAesDecrypt, 16, out, in); break;
        }
    }

    quint8 FAlgorithm = 4;
    int FBlock = 8;
    uchar FFeedback[16] = {};
    blowfish_ctx FBlowfish{};
    twofish_ctx FTwofish{};
    cast128_ctx FCast{};
    aes192_ctx FAesEncrypt{};
    aes192_ctx FAesDecrypt{};
};

QByteArray KeyString(const QString& password, quint8 caseFlag, const QByteArray& salt) {
    QByteArray key;
    if (caseFlag == kCifCaseInsensitive) {
        key = password.toUtf8();
        for (char& c : key)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    } else if (caseFlag == kCifCaseSensitive) {
        key = password.toUtf8();
    } // any other value: the password does not enter the key (files of older writers)
    return key + salt;
}

// Sets up the cipher and returns the check value; the cipher is left ready for the data.
quint16 CheckValue(TCifCipher& cipher, const QByteArray& checkBlock) {
    cipher.SetFeedback(reinterpret_cast<const uchar*>(checkBlock.constData()));
    uchar block[8];
    std::memcpy(block, checkBlock.constData(), 8);
    cipher.Encrypt(block, 8);
    return quint16(block[0] + 256 * block[1]);
}

// Inner extensions the container may hold, by the class that opens them.
const QStringList& InnerExtensions() {
    static const QStringList list = {
        "PTF", "BMP", "DIB", "RLE", "ICO", "WMF", "EMF", "JFIF", "JIF", "JPG", "JPE", "JPEG", "PNG", "TGA", "VST",
        "AFI", "PCX", "PCC", "DCX", "SCR", "TIFF", "TIF", "GIF", "IMG", "MAC", "UFO", "PCD", "DXF", "SLD", "WBMP",
        "EPS", "CIF", "CUR", "SGI", "RGBA", "RGB", "BW", "CEL", "PIC", "CUT", "PPM", "PGM", "PBM", "PSD", "PDD",
        "PSP", "RPF", "RLA"};
    return list;
}

} // namespace

void TCIFGraphic::SetRandomSource(std::function<void(uchar*, int)> source) { RandomSource() = std::move(source); }

TCIFGraphic::TCIFGraphic() = default;
TCIFGraphic::~TCIFGraphic() = default;

QByteArray TCIFGraphic::Decrypt(QIODevice& stream, TCifHeader& h) {
    const qint64 start = stream.pos();
    const QByteArray main = ReadBytes(stream, kMainHeaderSize);
    if (!main.startsWith("CPIX")) throw EInvalidGraphic(FormatMessage(QStringLiteral("CPX")));
    TByteReader r(main);
    r.Seek(5);
    h.Algorithm = r.U8();
    h.CaseFlag = r.U8();
    h.Salt = main.mid(7, 5);
    h.CheckBlock = main.mid(12, 8);
    r.Seek(20);
    h.CheckValue = r.U16LE();
    h.FileBlockOffset = r.U32LE();
    if (!stream.seek(start + h.FileBlockOffset)) throw EReadError();
    const QByteArray block = ReadBytes(stream, kFileBlockSize);
    if (!block.startsWith("CPIX00")) throw EInvalidGraphic(FormatMessage(QStringLiteral("CPX")));
    const int extLength = std::min<int>(uchar(block[6]), 4);
    h.Extension = QString::fromLatin1(block.mid(7, extLength)).trimmed().toUpper();
    TByteReader br(block);
    br.Seek(11);
    h.PlainSize = br.U32LE();
    if (!stream.isSequential() && qint64(h.PlainSize) > stream.size() - stream.pos())
        throw EInvalidGraphic(QStringLiteral("The encrypted file is shorter than the data it announces"));

    IViewerServices& services = ViewerServices();
    QString password;
    if (!services.RequestPassword(password, false, QString()) &&
        !services.RequestPassword(password, true, QStringLiteral("Please enter the password")))
        throw EInvalidGraphic(QStringLiteral("Password required"));
    if (h.Algorithm < 4 || h.Algorithm > 7) throw EInvalidGraphic(QStringLiteral("Unsupported encryption algorithm"));
    std::unique_ptr<TCifCipher> cipher;
    for (;;) {
        cipher = std::make_unique<TCifCipher>(h.Algorithm, KeyString(password, h.CaseFlag, h.Salt));
        if (CheckValue(*cipher, h.CheckBlock) == h.CheckValue) break;
        if (!services.RequestPassword(password, true, QStringLiteral("Incorrect password, please reenter")))
            throw EInvalidGraphic(QStringLiteral("Password confirmation failed"));
    }
    FPassword = password;

    QByteArray plain;
    plain.reserve(std::min<qint64>(h.PlainSize, qint64(64) << 20));
    qint64 left = h.PlainSize;
    while (left > 0) {
        QByteArray chunk = ReadBytes(stream, std::min<qint64>(left, kChunk));
        cipher->Decrypt(reinterpret_cast<uchar*>(chunk.data()), chunk.size());
        plain += chunk;
        left -= chunk.size();
    }
    return plain;
}

void TCIFGraphic::LoadFromStream(QIODevice& stream) {
    if (GNesting >= kMaxNesting) throw EInvalidGraphic(QStringLiteral("Encrypted files are nested too deeply"));
    ++GNesting;
    struct TLeave {
        ~TLeave() { --GNesting; }
    } leave;

    TCifHeader header;
    QByteArray plain = Decrypt(stream, header);
    if (!InnerExtensions().contains(header.Extension)) throw EInvalidGraphic(FormatMessage(header.Extension));
    TGraphicClass cls = GraphicClassByExtension(header.Extension);
    if (!cls) throw EInvalidGraphic(FormatMessage(header.Extension));
    std::unique_ptr<TGraphic> inner = cls->Create();
    // Every inner format reads from memory, plain text included: no decrypted copy ever touches the disk.
    QBuffer buffer(&plain);
    buffer.open(QIODevice::ReadOnly);
    inner->LoadFromStream(buffer);
    FInner = std::move(inner);
    FInner->OnChange = [this](TGraphic*) { NotifyChanged(); };
    SetTruncated(FInner->Truncated()); // the picture inside was cut short before it was encrypted
    FEmpty = false;
    NotifyChanged();
}

void TCIFGraphic::SaveToStream(QIODevice& stream) const {
    QFile file(FPlainFileName);
    QBuffer bytes;
    bytes.setData(FPlainData);
    const bool fromBytes = !FPlainExtension.isEmpty();
    QIODevice& plainFile = fromBytes ? static_cast<QIODevice&>(bytes) : file;
    if (fromBytes)
        bytes.open(QIODevice::ReadOnly);
    else if (FPlainFileName.isEmpty() || !file.open(QIODevice::ReadOnly))
        throw EInvalidGraphicOperation(QStringLiteral("Cannot open the picture to encrypt: %1").arg(FPlainFileName));
    if (plainFile.size() > qint64(0xFFFFFFFFu))
        throw EInvalidGraphicOperation(QStringLiteral("Pictures of 4 GB or more cannot be encrypted"));
    if (FAlgorithm < 4 || FAlgorithm > 7) throw EInvalidGraphic(QStringLiteral("Unsupported encryption algorithm"));

    uchar salt[5], check[8], random[8];
    RandomBytes(salt, 5);
    RandomBytes(check, 8);
    RandomBytes(random, 8);
    const QByteArray saltBytes(reinterpret_cast<const char*>(salt), 5);
    const QByteArray checkBytes(reinterpret_cast<const char*>(check), 8);
    TCifCipher cipher(FAlgorithm, KeyString(FPassword, FCaseFlag, saltBytes));
    const quint16 checkValue = CheckValue(cipher, checkBytes);
    const QByteArray ext = (fromBytes ? FPlainExtension : QFileInfo(FPlainFileName).suffix()).toUpper().toLatin1().left(4);
    const quint32 plainSize = quint32(plainFile.size());

    QByteArray head("CPIX");
    head += char(20);
    head += char(FAlgorithm);
    head += char(FCaseFlag);
    head += saltBytes + checkBytes;
    head += char(checkValue & 0xFF);
    head += char(checkValue >> 8);
    head += QByteArray::fromHex("26000000") + QByteArray(12, '\0');
    head += "CPIX00";
    head += char(ext.size());
    head += ext + QByteArray(4 - ext.size(), '\0');
    for (int i = 0; i < 4; ++i) head += char((plainSize >> (8 * i)) & 0xFF);
    head += QByteArray(reinterpret_cast<const char*>(random), 8);
    if (!stream.isSequential()) stream.seek(0);
    WriteBytes(stream, head);
    qint64 left = plainSize;
    while (left > 0) {
        QByteArray chunk = ReadBytes(plainFile, std::min<qint64>(left, kChunk));
        cipher.Encrypt(reinterpret_cast<uchar*>(chunk.data()), chunk.size());
        WriteBytes(stream, chunk);
        left -= chunk.size();
    }
}

bool TCIFGraphic::SetSaveOption(const QString& key, const QString& value) {
    if (key == QLatin1String("password")) {
        FPassword = value;
        return true;
    }
    if (key == QLatin1String("case-sensitive")) {
        const bool on = value == QLatin1String("1") || value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
        FCaseFlag = on ? kCifCaseSensitive : kCifCaseInsensitive;
        return true;
    }
    if (key == QLatin1String("cipher")) {
        static const QStringList names = {"blowfish", "twofish", "cast128", "rijndael"};
        const int index = names.indexOf(value.toLower());
        bool ok = false;
        const int number = value.toInt(&ok);
        if (index >= 0)
            FAlgorithm = quint8(4 + index);
        else if (ok && number >= 4 && number <= 7)
            FAlgorithm = quint8(number);
        else
            throw EInvalidGraphicOperation(QStringLiteral("Unknown cipher '%1' (blowfish, twofish, cast128 or rijndael)").arg(value));
        return true;
    }
    return false;
}

void TCIFGraphic::DrawTo(QPainter& canvas, const QRect& rect) const {
    if (FInner) FInner->DrawTo(canvas, rect);
}

void TCIFGraphic::SetWidth(int w) {
    if (w == FWidth) return;
    FWidth = w;
    NotifyChanged();
}

void TCIFGraphic::SetHeight(int h) {
    if (h == FHeight) return;
    FHeight = h;
    NotifyChanged();
}

void TCIFGraphic::SaveToClipboardData(QMimeData& data) const {
    if (!FInner) throw EInvalidGraphicOperation(QStringLiteral("Cannot copy an empty picture"));
    FInner->SaveToClipboardData(data);
}

void TCIFGraphic::CopyInto(TGraphic& target) const {
    if (FInner) {
        target.Assign(*FInner);
        return;
    }
    TGraphic::CopyInto(target);
}

QImage TCIFGraphic::ToBitmap() const {
    return FInner ? FInner->ToBitmap() : QImage();
}

QImage TCIFGraphic::ToImage(QSize size, TColor background) const {
    return FInner ? FInner->ToImage(size, background) : QImage();
}
