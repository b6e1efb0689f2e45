#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>
#include <utility>

namespace sonalto::settings {

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");
const QByteArray Utf16LeBom("\xFF\xFE");
const QByteArray Utf16BeBom("\xFE\xFF");

enum class FileEncoding { Bytes, Utf16LE, Utf16BE };

struct Line
{
    QByteArray raw;  // as stored, with its own line end; empty for a line the program adds
    QByteArray text; // without the line end; in a UTF-16 file its text as UTF-8
    QByteArray end;  // the line end as text: "\r\n", "\n" or nothing on a last line
    bool changed = false;
};

struct IniText
{
    FileEncoding encoding = FileEncoding::Bytes;
    QByteArray bom;
    QList<Line> lines;
    QByteArray eol = "\n"; // for lines without one of their own: the file's first line end
    bool exists = false;
    bool tooLarge = false; // only the first MaxFileSize bytes were read
};

QString decodeGbk(QByteArrayView bytes, bool *error)
{
    QStringDecoder decoder("GBK");
    QString text = decoder.decode(bytes);
    *error = !decoder.isValid() || decoder.hasError();
    return text;
}

// True when every byte above ASCII belongs to a two-byte GBK character. Decoders also accept
// single bytes such as 0x80 (the euro sign of code page 936) or map 0xFF somewhere, but a single
// high byte in an INI file is a raw key code or text of a single-byte code page.
bool isGbkPairs(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes.at(i));
        if (lead < 0x80)
            continue;
        if (lead == 0x80 || lead == 0xFF || i + 1 >= bytes.size())
            return false;
        const auto trail = static_cast<unsigned char>(bytes.at(++i));
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
    }
    return true;
}

// GBK's user-defined areas decode to private-use characters: text in a single-byte code page
// ("Gr\xFC\xDF" for Grüße) falls there far more often than real text does.
bool hasPrivateUse(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF)
            return true;
    }
    return false;
}

// Text of one value or name: UTF-8 when it is valid UTF-8, GBK when all of it is GBK text,
// otherwise Latin-1, which maps every byte to a character of its own.
QString decodeText(const QByteArray &bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    if (isGbkPairs(bytes)) {
        bool error = false;
        const QString text = decodeGbk(bytes, &error);
        if (!error && !hasPrivateUse(text))
            return text;
    }
    return QString::fromLatin1(bytes);
}

bool isUtf16(const IniText &text)
{
    return text.encoding != FileEncoding::Bytes;
}

// Bytes of the file's encoding for text held as UTF-8 (raw bytes in a single-byte file).
QByteArray encodeForFile(const IniText &text, const QByteArray &utf8)
{
    if (!isUtf16(text))
        return utf8;
    QStringEncoder encoder(text.encoding == FileEncoding::Utf16LE ? QStringEncoder::Utf16LE
                                                                  : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::Stateless);
    return encoder.encode(QString::fromUtf8(utf8));
}

// Splits the text after the byte order mark into lines, each keeping its bytes. In a UTF-16
// file a line break is the 16-bit unit 0x000A.
void splitLines(IniText &text, QByteArrayView content)
{
    const bool utf16 = isUtf16(text);
    const bool littleEndian = text.encoding == FileEncoding::Utf16LE;
    const qsizetype unit = utf16 ? 2 : 1;
    QStringDecoder decoder(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    const auto isNewline = [&](qsizetype at) {
        if (!utf16)
            return content.at(at) == '\n';
        if (at + 1 >= content.size())
            return false;
        const char high = littleEndian ? content.at(at + 1) : content.at(at);
        const char low = littleEndian ? content.at(at) : content.at(at + 1);
        return high == 0 && low == '\n';
    };
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype at = start;
        while (at < content.size() && !isNewline(at))
            at += unit;
        at = std::min(at, content.size());
        const bool ended = at < content.size();
        const qsizetype stop = ended ? at + unit : content.size();
        Line line;
        line.raw = content.sliced(start, stop - start).toByteArray();
        const QByteArrayView body = content.sliced(start, at - start);
        line.text = utf16 ? QString(decoder.decode(body)).toUtf8() : body.toByteArray();
        if (ended) {
            line.end = "\n";
            if (line.text.endsWith('\r')) {
                line.text.chop(1);
                line.end = "\r\n";
            }
        }
        text.lines.append(std::move(line));
        start = stop;
    }
    for (const Line &line : std::as_const(text.lines)) {
        if (!line.end.isEmpty()) {
            text.eol = line.end;
            break;
        }
    }
}

IniText parseText(const QByteArray &content, bool tooLarge)
{
    IniText text;
    if (content.startsWith(Utf16LeBom)) {
        text.encoding = FileEncoding::Utf16LE;
        text.bom = Utf16LeBom;
    } else if (content.startsWith(Utf16BeBom)) {
        text.encoding = FileEncoding::Utf16BE;
        text.bom = Utf16BeBom;
    } else if (content.startsWith(Utf8Bom)) {
        text.bom = Utf8Bom;
    }
    splitLines(text, QByteArrayView(content).sliced(text.bom.size()));
    // The line the reading limit cut through is not there.
    if (tooLarge && !text.lines.isEmpty() && text.lines.last().end.isEmpty())
        text.lines.removeLast();
    text.tooLarge = tooLarge;
    return text;
}

QString displayPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Why a replacement of the file failed, told from what is on the disk now: the file device's
// own text is in English.
QString writeFailure(const QString &path, const QSaveFile &file)
{
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    QString why;
    if (!folder.isDir())
        why = QStringLiteral("文件夹 %1 不存在").arg(displayPath(folder.filePath()));
    else if (info.exists() && !info.isWritable())
        why = QStringLiteral("文件是只读的");
    else if (!folder.isWritable())
        why = QStringLiteral("没有在文件夹 %1 中写入的权限").arg(displayPath(folder.filePath()));
    else if (file.error() == QFileDevice::WriteError || file.error() == QFileDevice::ResourceError)
        why = QStringLiteral("写入失败，磁盘可能已满");
    else
        why = QStringLiteral("写入失败");
    return QStringLiteral("无法写入 %1：%2").arg(displayPath(path), why);
}

// nullopt when the file exists but cannot be read (writing then would lose its contents) or
// is no regular file.
std::optional<IniText> loadText(const QString &path, QString *error = nullptr)
{
    const QFileInfo info(path);
    if (!info.exists())
        return IniText{};
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // Opening a pipe would wait for a writer, reading a device would not end.
    if (!info.isFile())
        return fail(QStringLiteral("%1 不是普通文件").arg(displayPath(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(QStringLiteral("无法读取 %1：%2")
                        .arg(displayPath(path), info.isReadable()
                                                    ? QStringLiteral("读取失败")
                                                    : QStringLiteral("没有读取权限")));
    }
    QByteArray bytes = file.read(IniFile::MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(QStringLiteral("无法读取 %1：读取失败").arg(displayPath(path)));
    const bool tooLarge = bytes.size() > IniFile::MaxFileSize;
    if (tooLarge)
        bytes.truncate(IniFile::MaxFileSize);
    IniText text = parseText(bytes, tooLarge);
    text.exists = true;
    return text;
}

std::optional<QString> sectionName(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    // Decoded before looking for ']': a GBK trail byte can be 0x5D.
    const QString text = decodeText(trimmed);
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    return (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
}

bool isComment(const QByteArray &line)
{
    return line.trimmed().startsWith(';');
}

// The key's bytes as spelled in the file; '=' never occurs inside a GBK or UTF-8 sequence.
std::optional<QByteArray> keyBytes(const QByteArray &line)
{
    if (isComment(line) || line.trimmed().startsWith('['))
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    QByteArray key = line.left(eq).trimmed();
    if (key.isEmpty())
        return std::nullopt;
    return key;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section and one of its keys are, as line indexes.
struct Location
{
    qsizetype sectionLine = -1;
    qsizetype sectionEnd = -1; // first line after the section
    qsizetype keyLine = -1;
};

Location locate(const IniText &text, const QString &section, const QString &key)
{
    Location loc;
    const QString wantedSection = section.trimmed();
    const QString wantedKey = key.trimmed();
    for (qsizetype i = 0; i < text.lines.size(); ++i) {
        const QByteArray &line = text.lines.at(i).text;
        if (const auto name = sectionName(line)) {
            if (loc.sectionLine >= 0) {
                loc.sectionEnd = i;
                return loc;
            }
            if (sameName(*name, wantedSection))
                loc.sectionLine = i;
            continue;
        }
        if (loc.sectionLine < 0 || loc.keyLine >= 0)
            continue;
        if (const auto k = keyBytes(line); k && sameName(decodeText(*k), wantedKey))
            loc.keyLine = i;
    }
    if (loc.sectionLine >= 0)
        loc.sectionEnd = text.lines.size();
    return loc;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

QByteArray unquoted(const QByteArray &value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// The value of a key's line, trimmed and unquoted.
QByteArray lineValue(const QByteArray &line)
{
    return unquoted(line.mid(line.indexOf('=') + 1).trimmed());
}

// A value of a UTF-16 file as the bytes the Windows functions give in a single-byte code page;
// text beyond one needs UTF-8.
QByteArray utf16ValueBytes(const QByteArray &utf8)
{
    const QString text = QString::fromUtf8(utf8);
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return utf8;
    }
    return text.toLatin1();
}

struct RawValue
{
    QByteArray bytes; // trimmed and unquoted; UTF-8 in a UTF-16 file
    bool utf16 = false;
};

std::optional<RawValue> rawValue(const QString &path, const QString &section, const QString &key)
{
    const std::optional<IniText> text = loadText(path);
    if (!text)
        return std::nullopt;
    const Location loc = locate(*text, section, key);
    if (loc.keyLine < 0)
        return std::nullopt;
    return RawValue{lineValue(text->lines.at(loc.keyLine).text), isUtf16(*text)};
}

bool fitsOnOneLine(const QByteArray &bytes)
{
    return !bytes.contains('\n') && !bytes.contains('\r');
}

// The value as it goes into the file: a value that reading would change (blanks at
// either end are trimmed, one pair of surrounding quotes removed) is put in quotes,
// which every reader of the format removes again.
QByteArray storedForm(const QByteArray &value)
{
    if (value.isEmpty())
        return value;
    const bool blankAtEnd = isBlank(value.front()) || isBlank(value.back());
    if (blankAtEnd || unquoted(value) != value)
        return '"' + value + '"';
    return value;
}

// One value to write: its bytes, and its text when it is written as text (a stored value
// that reads as the same text is then left as it is, whatever its encoding).
struct Pending
{
    QString section;
    QString key;
    QByteArray bytes;
    std::optional<QString> text;
};

// Why a value cannot be written, or nothing when it can.
std::optional<QString> cannotStore(const Pending &value)
{
    const QByteArray section = value.section.trimmed().toUtf8();
    const QByteArray key = value.key.trimmed().toUtf8();
    if (section.isEmpty() || section.contains(']') || !fitsOnOneLine(section))
        return QStringLiteral("“%1”不能用作设置文件中的节名").arg(value.section);
    if (key.isEmpty() || key.contains('=') || key.startsWith('[') || key.startsWith(';') ||
        !fitsOnOneLine(key))
        return QStringLiteral("“%1”不能用作设置文件中的键名").arg(value.key);
    if (!fitsOnOneLine(value.bytes))
        return QStringLiteral("%1 的值含有换行符，设置文件的一行存不下它").arg(value.key);
    return std::nullopt;
}

bool storedValueIs(const IniText &text, const QByteArray &stored, const Pending &value)
{
    if (value.text)
        return decodeText(stored) == *value.text;
    return (isUtf16(text) ? utf16ValueBytes(stored) : stored) == value.bytes;
}

// Sets one key in the text of the file (already checked with cannotStore). False when the
// file already holds that value.
bool applyValue(IniText &text, const Pending &value)
{
    const Location loc = locate(text, value.section, value.key);
    if (loc.keyLine >= 0 && storedValueIs(text, lineValue(text.lines.at(loc.keyLine).text), value))
        return false;

    // A UTF-16 file holds text: bytes of no UTF-8 text go in as the characters of Latin-1,
    // which readBytes gives back as those bytes.
    QByteArray bytes = value.bytes;
    if (isUtf16(text) && !value.text && !bytes.isValidUtf8())
        bytes = QString::fromLatin1(bytes).toUtf8();
    const QByteArray stored = storedForm(bytes);
    const QByteArray keyUtf8 = value.key.trimmed().toUtf8();

    if (loc.keyLine >= 0) {
        Line &line = text.lines[loc.keyLine];
        line.text = *keyBytes(line.text) + '=' + stored;
        line.changed = true;
    } else if (loc.sectionLine >= 0) {
        // After the section's last entry, so blank lines and comments that lead into the
        // next section stay in front of it.
        qsizetype insertAt = loc.sectionLine + 1;
        for (qsizetype i = loc.sectionLine + 1; i < loc.sectionEnd; ++i) {
            const QByteArray &line = text.lines.at(i).text;
            if (!line.trimmed().isEmpty() && !isComment(line))
                insertAt = i + 1;
        }
        text.lines.insert(insertAt, Line{{}, keyUtf8 + '=' + stored, {}, true});
    } else {
        text.lines.append(Line{{}, '[' + value.section.trimmed().toUtf8() + ']', {}, true});
        text.lines.append(Line{{}, keyUtf8 + '=' + stored, {}, true});
    }
    return true;
}

QByteArray fileContent(const IniText &text)
{
    const QByteArray eol = encodeForFile(text, text.eol);
    const QByteArray newline = encodeForFile(text, "\n");
    QByteArray content = text.bom;
    for (qsizetype i = 0; i < text.lines.size(); ++i) {
        const Line &line = text.lines.at(i);
        if (line.changed) {
            content += encodeForFile(text, line.text);
            content += line.end.isEmpty() ? eol : encodeForFile(text, line.end);
            continue;
        }
        content += line.raw;
        if (i + 1 < text.lines.size() && !line.raw.endsWith(newline))
            content += eol;
    }
    return content;
}

bool commitText(const QString &path, const IniText &text, QString *error)
{
    const QByteArray content = fileContent(text);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    if (error)
        *error = writeFailure(path, file);
    file.cancelWriting();
    return false;
}

// Every value is checked before the file is touched, and the file is replaced once:
// either all of them are written or none. Storing what is already there leaves the file
// alone: replacing it would wait for the disk (the replacement is synced) for nothing.
bool writeValues(const QString &path, const QList<Pending> &values, QString *error)
{
    for (const Pending &value : values) {
        if (const auto why = cannotStore(value)) {
            if (error)
                *error = *why;
            return false;
        }
    }
    std::optional<IniText> loaded = loadText(path, error);
    if (!loaded)
        return false;
    if (loaded->tooLarge) {
        if (error)
            *error = QStringLiteral("%1 大于 %2 KiB，不像是设置文件；为不损坏其中的内容，"
                                    "没有改动它")
                         .arg(displayPath(path))
                         .arg(IniFile::MaxFileSize / 1024);
        return false;
    }
    bool changed = !loaded->exists;
    for (const Pending &value : values)
        changed = applyValue(*loaded, value) || changed;
    return !changed || commitText(path, *loaded, error);
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

const QString &IniFile::path() const
{
    return m_path;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const auto raw = rawValue(m_path, section, key);
    return raw ? decodeText(raw->bytes) : def;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value,
                          QString *error)
{
    return writeValues(m_path, {{section, key, value.toUtf8(), value}}, error);
}

int IniFile::readInt(const QString &section, const QString &key, int def, bool *ok) const
{
    const QString text = readString(section, key, QString::number(def));
    bool parsed = false;
    const int value = text.toInt(&parsed, 10);
    if (ok)
        *ok = parsed;
    return parsed ? value : def;
}

bool IniFile::writeInt(const QString &section, const QString &key, int value, QString *error)
{
    return writeString(section, key, QString::number(value), error);
}

QByteArray IniFile::readBytes(const QString &section, const QString &key,
                              const QByteArray &def) const
{
    const auto raw = rawValue(m_path, section, key);
    if (!raw)
        return def;
    return raw->utf16 ? utf16ValueBytes(raw->bytes) : raw->bytes;
}

bool IniFile::writeBytes(const QString &section, const QString &key, const QByteArray &value,
                         QString *error)
{
    return writeValues(m_path, {{section, key, value, std::nullopt}}, error);
}

bool IniFile::writeSection(const QString &section,
                           const QList<std::pair<QString, QByteArray>> &values, QString *error)
{
    QList<Pending> pending;
    for (const auto &[key, value] : values)
        pending.append({section, key, value, std::nullopt});
    return writeValues(m_path, pending, error);
}

bool IniFile::writeEntries(const QList<Entry> &entries, QString *error)
{
    QList<Pending> pending;
    for (const Entry &entry : entries)
        pending.append({entry.section, entry.key, entry.value.toUtf8(), entry.value});
    return writeValues(m_path, pending, error);
}

} // namespace sonalto::settings
