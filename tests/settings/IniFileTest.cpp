#include "settings/IniFile.h"

#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

using sonalto::settings::IniFile;

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    QString filePath(const QString &name = QStringLiteral("Config.ini")) const
    {
        return m_dir.filePath(name);
    }

    void writeFile(const QByteArray &bytes, const QString &name = QStringLiteral("Config.ini"))
    {
        QFile f(filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray fileBytes(const QString &name = QStringLiteral("Config.ini")) const
    {
        QFile f(filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

} // namespace

TEST_F(IniFileTest, CreatesFileAndRoundTrips)
{
    IniFile ini(filePath());
    EXPECT_EQ(ini.readString("Other", "AudioDir", "0"), "0");
    EXPECT_TRUE(ini.writeString("Other", "OutputName", QStringLiteral("音频")));
    EXPECT_TRUE(ini.writeInt("Audio", "Volume", -12));
    EXPECT_TRUE(ini.writeString("Other", "AudioDir", "/home/u/Sonalto/"));
    EXPECT_TRUE(ini.writeString("Other", "OutputName", QStringLiteral("会议")));

    EXPECT_EQ(fileBytes(), QStringLiteral("[Other]\nOutputName=会议\nAudioDir=/home/u/Sonalto/\n"
                                          "[Audio]\nVolume=-12\n")
                               .toUtf8());
    EXPECT_EQ(ini.readString("other", "outputname", ""), QStringLiteral("会议"));
    EXPECT_EQ(ini.readInt("AUDIO", "VOLUME", 0), -12);
    EXPECT_EQ(ini.readString("Audio", "Channels", "x"), "x");
    bool ok = false;
    EXPECT_EQ(ini.readInt("Other", "MinitoTray", 3, &ok), 3);
    EXPECT_TRUE(ok) << "a missing key is no conversion error";
}

TEST_F(IniFileTest, StoringWhatIsThereLeavesTheFileAlone)
{
    // The file is replaced by a new one (a new inode) whenever it is written.
    const auto inode = [this] {
        struct stat st = {};
        return ::stat(QFile::encodeName(filePath()).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    writeFile("; kept\r\n[Other]\r\nAudioDir=/home/u/A/\r\n");
    const ino_t before = inode();
    IniFile ini(filePath());
    EXPECT_TRUE(ini.writeString("other", "AUDIODIR", "/home/u/A/"));
    EXPECT_TRUE(ini.writeSection("Other", {{"AudioDir", "/home/u/A/"}}));
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(fileBytes(), "; kept\r\n[Other]\r\nAudioDir=/home/u/A/\r\n");

    // A new value is written.
    EXPECT_TRUE(ini.writeString("Other", "AudioDir", "/home/u/B/"));
    EXPECT_NE(inode(), before);
    EXPECT_EQ(fileBytes(), "; kept\r\n[Other]\r\nAudioDir=/home/u/B/\r\n");
}

TEST_F(IniFileTest, ValuesAreTrimmedAndLoseOnePairOfQuotes)
{
    writeFile("[S]\n"
              "a =  spaced value \t\n"
              "b=\"quoted \"\n"
              "c='single'\n"
              "d=\"\"twice\"\"\n"
              "e=\"unbalanced\n"
              "f=\"mixed'\n"
              "g=x=y\n"
              "h=\n");
    IniFile ini(filePath());
    EXPECT_EQ(ini.readString("S", "a", "-"), "spaced value");
    EXPECT_EQ(ini.readString("S", "b", "-"), "quoted ");
    EXPECT_EQ(ini.readString("S", "c", "-"), "single");
    EXPECT_EQ(ini.readString("S", "d", "-"), "\"twice\"");
    EXPECT_EQ(ini.readString("S", "e", "-"), "\"unbalanced");
    EXPECT_EQ(ini.readString("S", "f", "-"), "\"mixed'");
    EXPECT_EQ(ini.readString("S", "g", "-"), "x=y");
    EXPECT_EQ(ini.readString("S", "h", "-"), "");
}

TEST_F(IniFileTest, FirstSectionAndFirstKeyWinAndCommentsAreNoKeys)
{
    writeFile("Volume=1\n"
              "[Audio]\n"
              ";Volume=2\n"
              "Volume=3\n"
              "Volume=4\n"
              "[Other]\n"
              "Volume=5\n"
              "[Audio]\n"
              "Channels=6\n");
    IniFile ini(filePath());
    EXPECT_EQ(ini.readInt("Audio", "Volume", 0), 3);
    EXPECT_EQ(ini.readInt("Other", "Volume", 0), 5);
    EXPECT_EQ(ini.readInt("Audio", "Channels", -1), -1);
}

TEST_F(IniFileTest, IntegersMustBeDecimal)
{
    writeFile("[A]\nok=+42\nneg=-3\nhex=0x10\nword=abc\ntail=12abc\nempty=\nquoted=\"8\"\n");
    IniFile ini(filePath());
    bool ok = false;
    EXPECT_EQ(ini.readInt("A", "ok", 0, &ok), 42);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ini.readInt("A", "neg", 0, &ok), -3);
    EXPECT_TRUE(ok);
    EXPECT_EQ(ini.readInt("A", "quoted", 0, &ok), 8);
    EXPECT_TRUE(ok);
    for (const char *key : {"hex", "word", "tail", "empty"}) {
        ok = true;
        EXPECT_EQ(ini.readInt("A", key, 99, &ok), 99) << key;
        EXPECT_FALSE(ok) << key;
    }
}

TEST_F(IniFileTest, RewriteKeepsEveryOtherLineAndAppendsAtSectionEnd)
{
    const QByteArray original = "; written by hand\n"
                                "loose line\n"
                                "\n"
                                "[Audio]\n"
                                "  Volume = 5  \n"
                                "no equals sign here\n"
                                "\n"
                                "; next section\n"
                                "[Other]\n"
                                "MinitoTray=0";
    writeFile(original);
    IniFile ini(filePath());
    EXPECT_TRUE(ini.writeInt("audio", "VOLUME", 80));
    EXPECT_TRUE(ini.writeInt("Audio", "Channels", 1));
    EXPECT_TRUE(ini.writeString("Other", "OutputName", "take"));
    EXPECT_EQ(fileBytes(), QByteArray("; written by hand\n"
                                      "loose line\n"
                                      "\n"
                                      "[Audio]\n"
                                      "Volume=80\n"
                                      "no equals sign here\n"
                                      "Channels=1\n"
                                      "\n"
                                      "; next section\n"
                                      "[Other]\n"
                                      "MinitoTray=0\n"
                                      "OutputName=take\n"));
}

// Files edited on Windows and here mix encodings line by line: each value reads in its own,
// writing back what was read changes nothing, and changing one value leaves every other byte of
// the file (comments, other sections, line ends, the byte order mark) as it was.
TEST_F(IniFileTest, MixedEncodingsRoundTripValueByValue)
{
    const QString folder = QStringLiteral("/home/u/Aufnahmen für Oma 音频/");
    const QList<QByteArray> lines = {
        "[Audio]",
        "RecordDeviceName=" + gbk(QStringLiteral("虚拟设备")),
        "Volume = 75 ",
        "",
        "[Other]",
        "AudioDir=" + folder.toUtf8(),
        "OutputName=" + gbk(QStringLiteral("基名")),
        "Suffix=Gr\xFC\xDF"
        "e",
        "Euro=\x80",
        "Quoted=\" " + gbk(QStringLiteral("录音")) + " \"",
        "; " + gbk(QStringLiteral("注释")),
        "[" + gbk(QStringLiteral("设置")) + "]",
        gbk(QStringLiteral("名称")) + "=Caf\xE9",
        "; R\xE9glages",
    };
    struct Value
    {
        QString section, key;
        int line;
        QString text;
    };
    const QList<Value> values = {
        {"Audio", "RecordDeviceName", 1, QStringLiteral("虚拟设备")},
        {"Audio", "Volume", 2, "75"},
        {"Other", "AudioDir", 5, folder},
        {"Other", "OutputName", 6, QStringLiteral("基名")},
        {"Other", "Suffix", 7, QStringLiteral("Grüße")},
        {"Other", "Euro", 8, QString(QChar(0x80))}, // a lone byte is no GBK character
        {"Other", "Quoted", 9, QStringLiteral(" 录音 ")},
        {QStringLiteral("设置"), QStringLiteral("名称"), 12, QStringLiteral("Café")},
    };
    struct Variant
    {
        const char *name;
        QByteArray bom;
        std::function<QByteArray(int line)> end;
    };
    const int last = int(lines.size()) - 1;
    const QList<Variant> variants = {
        {"LF", "", [](int) { return QByteArray("\n"); }},
        {"CRLF with BOM", "\xEF\xBB\xBF", [](int) { return QByteArray("\r\n"); }},
        {"mixed, last line unended", "",
         [last](int i) { return i == last ? QByteArray() : QByteArray(i % 2 ? "\n" : "\r\n"); }},
    };
    const auto build = [&](const Variant &variant, const QList<QByteArray> &content) {
        QByteArray bytes = variant.bom;
        for (int i = 0; i < content.size(); ++i)
            bytes += content.at(i) + variant.end(i);
        return bytes;
    };
    const auto readsAsStored = [&](IniFile &ini, qsizetype changed) {
        for (qsizetype v = 0; v < values.size(); ++v) {
            if (v == changed)
                continue;
            EXPECT_EQ(ini.readString(values[v].section, values[v].key, "-"), values[v].text)
                << values[v].key.toStdString();
        }
    };

    for (const Variant &variant : variants) {
        SCOPED_TRACE(variant.name);
        const QByteArray original = build(variant, lines);
        writeFile(original);
        IniFile ini(filePath());
        readsAsStored(ini, -1);
        for (const Value &value : values)
            ASSERT_TRUE(ini.writeString(value.section, value.key, value.text));
        EXPECT_EQ(fileBytes(), original) << "writing back what was read changes nothing";

        for (qsizetype v = 0; v < values.size(); ++v) {
            SCOPED_TRACE(values[v].key.toStdString());
            writeFile(original);
            const QString changed = QStringLiteral("新值 %1 ü").arg(v);
            ASSERT_TRUE(ini.writeString(values[v].section, values[v].key, changed));
            QList<QByteArray> expected = lines;
            QByteArray &line = expected[values[v].line];
            line = line.left(line.indexOf('=')).trimmed() + '=' + changed.toUtf8();
            EXPECT_EQ(fileBytes(), build(variant, expected));
            EXPECT_EQ(ini.readString(values[v].section, values[v].key, "-"), changed);
            readsAsStored(ini, v);
        }
    }
}

TEST_F(IniFileTest, RawBytesRoundTripUntouched)
{
    const QString name = QStringLiteral("HotKey.ini");
    IniFile ini(filePath(name));
    const QList<QByteArray> values = {QByteArray("\x70"), QByteArray("\xA0"), QByteArray("\xFF"),
                                      QByteArray("\x80")};
    for (int i = 0; i < values.size(); ++i)
        ASSERT_TRUE(ini.writeBytes("HotKey", QStringLiteral("Key%1").arg(i), values.at(i)));
    // A text write into the now non-UTF-8 file must not re-encode the raw lines.
    ASSERT_TRUE(ini.writeInt("HotKey", "Count", 4));
    ASSERT_TRUE(ini.writeBytes("HotKey", "Key1", QByteArray("\xA0")));

    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(ini.readBytes("HotKey", QStringLiteral("key%1").arg(i), "?"), values.at(i)) << i;
    EXPECT_EQ(ini.readBytes("HotKey", "Missing", "def"), QByteArray("def"));
    EXPECT_EQ(ini.readInt("HotKey", "Count", 0), 4);
    EXPECT_EQ(fileBytes(name), QByteArray("[HotKey]\nKey0=\x70\nKey1=\xA0\nKey2=\xFF\nKey3=\x80\n"
                                          "Count=4\n"));
}

TEST_F(IniFileTest, RawBytesAreTrimmedAndUnquotedLikeText)
{
    // Windows removes one pair of surrounding quotes from every value it reads.
    writeFile(QByteArray("[K]\nA= \"\xA0\" \r\nB=\t\xFF \nC=\" \"\nD=\"\n"));
    IniFile ini(filePath());
    EXPECT_EQ(ini.readBytes("K", "A", ""), QByteArray("\xA0"));
    EXPECT_EQ(ini.readBytes("K", "B", ""), QByteArray("\xFF"));
    EXPECT_EQ(ini.readBytes("K", "C", ""), QByteArray(" "));
    EXPECT_EQ(ini.readBytes("K", "D", ""), QByteArray("\""));
}

TEST_F(IniFileTest, ValuesReadingWouldChangeAreQuotedAndReadBackExactly)
{
    IniFile ini(filePath());
    const QList<QByteArray> bytes = {" ",     "\t",  "\x0B", "\x0C", "\"",    "'",
                                     "\"x\"", "'y'", " a ",  "\"\"", "plain", ""};
    for (int i = 0; i < bytes.size(); ++i)
        ASSERT_TRUE(ini.writeBytes("K", QStringLiteral("B%1").arg(i), bytes.at(i))) << i;
    const QStringList texts = {QStringLiteral("  二 "), QStringLiteral("\"quoted\"")};
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(ini.writeString("K", QStringLiteral("T%1").arg(i), texts.at(i))) << i;

    for (int i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(ini.readBytes("K", QStringLiteral("B%1").arg(i), "?"), bytes.at(i)) << i;
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(ini.readString("K", QStringLiteral("T%1").arg(i), "?"), texts.at(i)) << i;
    // Only what needs them gets quotes: a lone quote character and plain text do not.
    const QByteArray file = fileBytes();
    EXPECT_TRUE(file.contains("\nB0=\" \"\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("\nB4=\"\n"));
    EXPECT_TRUE(file.contains("\nB10=plain\n"));
    EXPECT_TRUE(file.contains("\nB11=\n"));
}

TEST_F(IniFileTest, SeveralValuesAreWrittenWholeOrNotAtAll)
{
    writeFile("[HotKey]\nCount=1\n");
    const QByteArray before = fileBytes();
    IniFile ini(filePath());
    QString error;
    // The third value cannot be put on a line: none of them is written.
    EXPECT_FALSE(
        ini.writeSection("HotKey", {{"Count", "3"}, {"HotKey0", "x"}, {"HotKey1", "\r"}}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(fileBytes(), before);

    ASSERT_TRUE(ini.writeSection(
        "HotKey",
        {{"Count", "2"}, {"HotKey0", "x"}, {"CASKey0", "0"}, {"HotKey1", " "}, {"CASKey1", "1"}}));
    EXPECT_EQ(fileBytes(),
              QByteArray("[HotKey]\nCount=2\nHotKey0=x\nCASKey0=0\nHotKey1=\" \"\nCASKey1=1\n"));

    // Text values of several sections, likewise all or none.
    EXPECT_FALSE(ini.writeEntries({{"Audio", "Volume", "5"}, {"Other", "AudioDir", "/a\nb/"}}));
    EXPECT_TRUE(ini.writeEntries({{"Audio", "Volume", "5"}, {"HotKey", "Count", "3"}}));
    EXPECT_EQ(fileBytes(), QByteArray("[HotKey]\nCount=3\nHotKey0=x\nCASKey0=0\nHotKey1=\" \"\n"
                                      "CASKey1=1\n[Audio]\nVolume=5\n"));

    IniFile nowhere(m_dir.filePath("missing-folder/HotKey.ini"));
    EXPECT_FALSE(nowhere.writeSection("HotKey", {{"Count", "0"}}, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("不存在"))) << error.toStdString();
}

TEST_F(IniFileTest, RefusesWhatCannotBeStored)
{
    IniFile ini(filePath());
    QString error;
    EXPECT_FALSE(ini.writeString("Other", "AudioDir", "/home/u/two\nlines/", &error));
    EXPECT_EQ(error, QStringLiteral("AudioDir 的值含有换行符，设置文件的一行存不下它"));
    EXPECT_FALSE(ini.writeString("Au]dio", "Key", "v"));
    EXPECT_FALSE(ini.writeString("Audio", "K=ey", "v"));
    EXPECT_FALSE(ini.writeString("Audio", "", "v"));
    EXPECT_FALSE(QFile::exists(filePath()));

    IniFile nowhere(m_dir.filePath("missing-folder/Config.ini"));
    EXPECT_FALSE(nowhere.writeInt("Audio", "Volume", 1, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing-folder 不存在"))) << error.toStdString();
}

TEST_F(IniFileTest, UnreadableFileIsNotOverwritten)
{
    writeFile("[Audio]\nVolume=5\n");
    QFile::setPermissions(filePath(), QFileDevice::WriteOwner);
    QFile probe(filePath());
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "running with permissions that ignore file modes";
    IniFile ini(filePath());
    EXPECT_FALSE(ini.writeInt("Audio", "Channels", 1));
    QFile::setPermissions(filePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(fileBytes(), QByteArray("[Audio]\nVolume=5\n"));
}

TEST_F(IniFileTest, Utf8ByteOrderMarkIsKept)
{
    writeFile("\xEF\xBB\xBF[Other]\r\nOutputName=x\r\n");
    IniFile ini(filePath());
    EXPECT_EQ(ini.readString("Other", "OutputName", ""), "x");
    EXPECT_TRUE(ini.writeString("Other", "OutputName", "y"));
    EXPECT_EQ(fileBytes(), QByteArray("\xEF\xBB\xBF[Other]\r\nOutputName=y\r\n"));
}

TEST_F(IniFileTest, Utf16FileStaysUtf16)
{
    const QString content = QStringLiteral("; 设置\r\n"
                                           "[Audio]\r\n"
                                           "RecordDevice=2\r\n"
                                           "[Other]\r\n"
                                           "AudioDir=D:\\录音 🎙\\\r\n");
    for (const auto encoding : {QStringEncoder::Utf16LE, QStringEncoder::Utf16BE}) {
        SCOPED_TRACE(encoding == QStringEncoder::Utf16LE ? "UTF-16LE" : "UTF-16BE");
        const auto utf16 = [encoding](const QString &text) {
            QStringEncoder encoder(encoding, QStringEncoder::Flag::WriteBom);
            return QByteArray(encoder.encode(text));
        };
        writeFile(utf16(content));

        IniFile ini(filePath());
        EXPECT_EQ(ini.readInt("Audio", "RecordDevice", 0), 2);
        EXPECT_EQ(ini.readString("Other", "AudioDir", "0"), QStringLiteral("D:\\录音 🎙\\"));

        EXPECT_TRUE(ini.writeInt("Audio", "Volume", 40));
        EXPECT_EQ(fileBytes(), utf16(QString(content).replace("RecordDevice=2\r\n",
                                                              "RecordDevice=2\r\nVolume=40\r\n")));
        // A raw key byte goes in as the character of that code and comes back as the byte.
        EXPECT_TRUE(ini.writeBytes("Audio", "HotKey0", "\xBA"));
        EXPECT_EQ(ini.readBytes("Audio", "HotKey0", ""), QByteArray("\xBA"));
        EXPECT_EQ(ini.readString("Other", "AudioDir", "0"), QStringLiteral("D:\\录音 🎙\\"));
    }
}

// Only the first MaxFileSize bytes are read, a line cut there included: a huge file costs no
// more than a settings file can hold, and it is never written, so nothing of it is lost.
TEST_F(IniFileTest, HugeFileIsReadInPartAndNeverWritten)
{
    QByteArray content = "[Other]\r\nAudioDir=/home/u/A/\r\n[Filler]\r\n";
    while (content.size() < IniFile::MaxFileSize - 80)
        content += "Filler=" + QByteArray(40, 'x') + "\r\n";
    content += "[Late]\r\nCut=" + QByteArray(200, 'y') + "\r\nAfter=1\r\n";
    writeFile(content);
    IniFile ini(filePath());
    EXPECT_EQ(ini.readString("Other", "AudioDir", "0"), "/home/u/A/");
    EXPECT_EQ(ini.readString("Late", "Cut", "none"), "none");
    EXPECT_EQ(ini.readString("Late", "After", "none"), "none");
    QString error;
    EXPECT_FALSE(ini.writeString("Other", "AudioDir", "/home/u/B/", &error));
    EXPECT_TRUE(error.contains(filePath())) << error.toStdString();
    EXPECT_EQ(fileBytes(), content);
}

TEST_F(IniFileTest, PathThatIsNoRegularFileIsNeitherWaitedForNorWritten)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(filePath()).constData(), 0600), 0);
    IniFile ini(filePath());
    EXPECT_EQ(ini.readString("Other", "AudioDir", "0"), "0"); // no writer is waited for
    QString error;
    EXPECT_FALSE(ini.writeString("Other", "AudioDir", "/home/u/", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("不是普通文件"))) << error.toStdString();
    EXPECT_FALSE(QFileInfo(filePath()).isFile());
}
