#include "TestUtil.h"

#include "codec/Ppm.h"
#include "codec/Services.h"
#include "formats/raster/cif.h"

#include <QBuffer>
#include <QFile>

namespace {
// Answers the password service from a script and records the prompts it was asked with.
class TScriptedPasswords : public IViewerServices {
public:
    QString Remembered;           // returned when asked without a prompt; empty: none
    QStringList Answers;          // returned one by one when prompting; when exhausted: cancel
    QStringList Prompts;
    bool RequestPassword(QString& password, bool ask, const QString& prompt) override {
        password.clear();
        if (!ask) {
            password = Remembered;
            return !Remembered.isEmpty();
        }
        Prompts << prompt;
        if (Answers.isEmpty()) return false;
        password = Answers.takeFirst();
        return true;
    }
};

class CifTest : public ::testing::Test {
protected:
    TScriptedPasswords Passwords;
    void SetUp() override { SetViewerServices(&Passwords); }
    void TearDown() override {
        SetViewerServices(nullptr);
        TCIFGraphic::SetRandomSource(nullptr);
    }
    QString LoadMessage(TCIFGraphic& g, const QByteArray& bytes) {
        QByteArray copy = bytes;
        QBuffer b(&copy);
        b.open(QIODevice::ReadOnly);
        try {
            g.LoadFromStream(b);
        } catch (const Exception& e) {
            return e.Message();
        }
        return QString();
    }
    QImage Inner() {
        TPPMGraphic ppm;
        ppm.LoadFromFileName(DataPath(QStringLiteral("cif/inner.ppm")));
        return ppm.Image();
    }
};
} // namespace

// Files written by an independent implementation (Perl's cipher modules, tests/data/cif/make_cif.pl).
TEST_F(CifTest, ReadsFilesOfEveryCipher) {
    for (int alg = 4; alg <= 7; ++alg) {
        Passwords.Remembered = QStringLiteral("secret"); // case flag 0: any letter case opens it
        TCIFGraphic g;
        ASSERT_EQ(LoadMessage(g, ReadFile(DataPath(QStringLiteral("cif/alg%1.cif").arg(alg)))), QString()) << alg;
        ASSERT_NE(g.Inner(), nullptr);
        EXPECT_EQ(g.Inner()->ClassName(), QStringLiteral("TPPMGraphic"));
        EXPECT_TRUE(SamePixels(g.ToImage(), Inner())) << alg;
        EXPECT_TRUE(Passwords.Prompts.isEmpty());
    }
}

TEST_F(CifTest, OneByteUnderEveryCipherUsesTheFinalPartAlone) {
    Passwords.Remembered = QStringLiteral("Secret");
    for (int alg = 4; alg <= 7; ++alg) {
        QByteArray bytes = ReadFile(DataPath(QStringLiteral("cif/onebyte%1.cif").arg(alg)));
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        TCIFGraphic g;
        TCifHeader h;
        EXPECT_EQ(g.Decrypt(b, h), QByteArray("X")) << alg;
        EXPECT_EQ(h.Extension, QStringLiteral("PTF"));
    }
}

TEST_F(CifTest, WritesByteForByteWhatTheIndependentWriterWrites) {
    // The same salt, check block and random bytes as given to make_cif.pl.
    const QByteArray random = QByteArray::fromHex("0102030405" "1112131415161718" "2122232425262728");
    for (int alg = 4; alg <= 7; ++alg) {
        int used = 0;
        TCIFGraphic::SetRandomSource([&](uchar* out, int n) {
            std::memcpy(out, random.constData() + used, size_t(n));
            used += n;
        });
        TCIFGraphic g;
        g.SetPlainFileName(DataPath(QStringLiteral("cif/inner.ppm")));
        g.SetPassword(QStringLiteral("Secret"));
        g.SetAlgorithm(quint8(alg));
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        g.SaveToStream(out);
        EXPECT_EQ(out.data().toHex(), ReadFile(DataPath(QStringLiteral("cif/alg%1.cif").arg(alg))).toHex()) << alg;
    }
}

TEST_F(CifTest, CaseFlags) {
    // Flag 2: the password as typed. A wrong case is refused; the prompt comes until it matches.
    Passwords.Answers = {QStringLiteral("mixed"), QStringLiteral("MiXed")};
    TCIFGraphic g;
    ASSERT_EQ(LoadMessage(g, ReadFile(DataPath(QStringLiteral("cif/case2.cif")))), QString());
    EXPECT_EQ(Passwords.Prompts, (QStringList{QStringLiteral("Please enter the password"),
                                              QStringLiteral("Incorrect password, please reenter")}));
    EXPECT_EQ(g.Password(), QStringLiteral("MiXed"));
    // Any other non-zero flag (older files): the password does not enter the key, but is still asked.
    Passwords.Prompts.clear();
    Passwords.Answers = {QStringLiteral("anything")};
    TCIFGraphic legacy;
    ASSERT_EQ(LoadMessage(legacy, ReadFile(DataPath(QStringLiteral("cif/legacy1.cif")))), QString());
    EXPECT_EQ(Passwords.Prompts.size(), 1);
}

TEST_F(CifTest, PasswordPathsAndMessages) {
    const QByteArray file = ReadFile(DataPath(QStringLiteral("cif/alg6.cif")));
    TCIFGraphic g;
    EXPECT_EQ(LoadMessage(g, file), QStringLiteral("Password required"));
    // A wrong remembered password: the first prompt is the "incorrect" one.
    Passwords.Prompts.clear();
    Passwords.Remembered = QStringLiteral("wrong");
    EXPECT_EQ(LoadMessage(g, file), QStringLiteral("Password confirmation failed"));
    EXPECT_EQ(Passwords.Prompts, QStringList{QStringLiteral("Incorrect password, please reenter")});
    EXPECT_TRUE(g.IsEmpty());

    Passwords.Remembered = QStringLiteral("SECRET");
    QByteArray bad = file;
    bad[5] = 9;
    EXPECT_EQ(LoadMessage(g, bad), QStringLiteral("Unsupported encryption algorithm"));
    EXPECT_EQ(LoadMessage(g, "CPIY" + file.mid(4)), QStringLiteral("Cannot load image. Invalid or unexpected CPX image format."));
    QByteArray badBlock = file;
    badBlock[38 + 5] = '1';
    EXPECT_EQ(LoadMessage(g, badBlock), QStringLiteral("Cannot load image. Invalid or unexpected CPX image format."));
    QByteArray unknownExt = file;
    unknownExt.replace(38 + 7, 3, "XYZ");
    EXPECT_EQ(LoadMessage(g, unknownExt), QStringLiteral("Cannot load image. Invalid or unexpected XYZ image format."));
    EXPECT_EQ(LoadMessage(g, file.left(file.size() - 1)), QStringLiteral("The encrypted file is shorter than the data it announces"));
    EXPECT_EQ(LoadMessage(g, file.left(20)), QStringLiteral("Stream read error"));
}

TEST_F(CifTest, RoundTripsAndNesting) {
    QTemporaryDir dir;
    Passwords.Remembered = QStringLiteral("pw");
    QString plain = DataPath(QStringLiteral("cif/inner.ppm"));
    QByteArray previous;
    // Each level wraps the one before: four levels open, the fifth is refused.
    for (int level = 1; level <= 5; ++level) {
        TCIFGraphic g;
        g.SetPlainFileName(plain);
        g.SetPassword(QStringLiteral("pw"));
        g.SetSaveOption(QStringLiteral("cipher"), QStringLiteral("twofish"));
        g.SetSaveOption(QStringLiteral("case-sensitive"), QStringLiteral("1"));
        const QString out = dir.filePath(QStringLiteral("level%1.cif").arg(level));
        g.SaveToFileName(out);
        const QByteArray bytes = ReadFile(out);
        EXPECT_EQ(bytes[6], char(kCifCaseSensitive));
        EXPECT_NE(bytes, previous);
        previous = bytes;
        TCIFGraphic back;
        const QString message = LoadMessage(back, bytes);
        if (level <= 4) {
            EXPECT_EQ(message, QString()) << level;
            EXPECT_TRUE(SamePixels(back.ToImage(), Inner())) << level;
        } else {
            EXPECT_EQ(message, QStringLiteral("Encrypted files are nested too deeply"));
        }
        plain = out;
    }
    // Saving the same picture twice gives different files.
    TCIFGraphic a, b;
    for (TCIFGraphic* g : {&a, &b}) {
        g->SetPlainFileName(DataPath(QStringLiteral("cif/inner.ppm")));
        g->SetPassword(QStringLiteral("pw"));
        g->SaveToFileName(dir.filePath(g == &a ? QStringLiteral("a.cif") : QStringLiteral("b.cif")));
    }
    EXPECT_NE(ReadFile(dir.filePath(QStringLiteral("a.cif"))), ReadFile(dir.filePath(QStringLiteral("b.cif"))));
    EXPECT_THROW(a.SetSaveOption(QStringLiteral("cipher"), QStringLiteral("des")), EInvalidGraphicOperation);
}
