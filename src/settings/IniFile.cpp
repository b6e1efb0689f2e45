#include "settings/IniFile.h"

#include <QCoreApplication>
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

// The file as read, bounded by MaxFileSize.
struct FileBytes
{
    FileEncoding encoding = FileEncoding::Bytes;
    QByteArray bom;
    QByteArray content; // the bytes after the byte order mark
    bool exists = false;
    bool tooLarge = false; // only the first MaxFileSize bytes were read
};

// A line as positions in the file, so that a file of many lines costs little: offsets into the
// file's bytes (with the line end) and into its text (without it).
struct Line
{
    qint32 rawFrom = 0, rawSize = 0; // rawSize 0: a line the program adds
    qint32 textFrom = 0, textSize = 0;
    qint32 changed = -1; // index of the line's new text in IniText::changed
};

// The file split into lines for a write.
struct IniText
{
    FileBytes file;
    QByteArray text; // of a single-byte file its bytes; of a UTF-16 file its lines as UTF-8
    QList<Line> lines;
    QList<QByteArray> changed;
    QByteArray eol = "\n"; // for added lines and a last line that gets one: the first line end
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
QString decodeText(QByteArrayView bytes)
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

bool isUtf16(FileEncoding encoding)
{
    return encoding != FileEncoding::Bytes;
}

QByteArray encodeForFile(FileEncoding encoding, const QByteArray &utf8)
{
    if (!isUtf16(encoding))
        return utf8;
    QStringEncoder encoder(encoding == FileEncoding::Utf16LE ? QStringEncoder::Utf16LE
                                                             : QStringEncoder::Utf16BE,
                           QStringEncoder::Flag::Stateless);
    return encoder.encode(QString::fromUtf8(utf8));
}

QString decodeUtf16(FileEncoding encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding == FileEncoding::Utf16LE ? QStringDecoder::Utf16LE
                                                             : QStringDecoder::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    return decoder.decode(bytes);
}

// Where the line break after `from` is (the file's end when there is none). In a UTF-16 file a
// line break is the 16-bit unit 0x000A.
qsizetype nextNewline(FileEncoding encoding, QByteArrayView content, qsizetype from)
{
    if (!isUtf16(encoding)) {
        const qsizetype at = content.indexOf('\n', from);
        return at < 0 ? content.size() : at;
    }
    const bool littleEndian = encoding == FileEncoding::Utf16LE;
    for (qsizetype at = from; at + 1 < content.size(); at += 2) {
        const char high = littleEndian ? content.at(at + 1) : content.at(at);
        const char low = littleEndian ? content.at(at) : content.at(at + 1);
        if (high == 0 && low == '\n')
            return at;
    }
    return content.size();
}

// Calls visit with each line of single-byte text, without its line end, until it returns
// false. A last line without a line end is left out when the reading limit cut it.
template <typename Visit> void forEachLine(QByteArrayView text, bool lastLineCut, Visit visit)
{
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype at = text.indexOf('\n', start);
        if (at < 0) {
            if (lastLineCut)
                return;
            at = text.size();
        }
        QByteArrayView line = text.sliced(start, at - start);
        if (line.endsWith('\r'))
            line = line.chopped(1);
        if (!visit(line))
            return;
        start = at + 1;
    }
}

// The line without its line end; UTF-8 in a UTF-16 file.
QByteArrayView lineText(const IniText &text, const Line &line)
{
    if (line.changed >= 0)
        return text.changed.at(line.changed);
    return QByteArrayView(text.text).sliced(line.textFrom, line.textSize);
}

QByteArrayView lineBytes(const IniText &text, const Line &line)
{
    return QByteArrayView(text.file.content).sliced(line.rawFrom, line.rawSize);
}

// The line end a line has in the file, as text: "\r\n", "\n", or nothing for a last line and a
// line the program adds.
QByteArrayView lineEnd(const IniText &text, const Line &line)
{
    static const QByteArray crlf[] = {"\r\n", QByteArray("\r\0\n\0", 4), QByteArray("\0\r\0\n", 4)};
    static const QByteArray lf[] = {"\n", QByteArray("\n\0", 2), QByteArray("\0\n", 2)};
    const auto kind = static_cast<int>(text.file.encoding);
    const QByteArrayView raw = lineBytes(text, line);
    if (raw.endsWith(crlf[kind]))
        return crlf[0];
    if (raw.endsWith(lf[kind]))
        return lf[0];
    return {};
}

IniText splitLines(FileBytes file)
{
    IniText text;
    text.file = std::move(file);
    const FileEncoding encoding = text.file.encoding;
    const QByteArrayView content(text.file.content);
    const qsizetype unit = isUtf16(encoding) ? 2 : 1;
    if (!isUtf16(encoding))
        text.text = text.file.content;
    text.lines.reserve(content.count('\n') + 1);
    bool eolSeen = false;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype at = nextNewline(encoding, content, start);
        const bool ended = at < content.size();
        if (!ended && text.file.tooLarge)
            break; // the line the reading limit cut through is not there
        Line line;
        line.rawFrom = qint32(start);
        line.rawSize = qint32((ended ? at + unit : content.size()) - start);
        if (isUtf16(encoding)) {
            line.textFrom = qint32(text.text.size());
            text.text += decodeUtf16(encoding, content.sliced(start, at - start)).toUtf8();
            line.textSize = qint32(text.text.size() - line.textFrom);
        } else {
            line.textFrom = qint32(start);
            line.textSize = qint32(at - start);
        }
        const bool crlf = ended && line.textSize > 0 && lineText(text, line).endsWith('\r');
        if (crlf)
            --line.textSize;
        if (ended && !eolSeen) {
            text.eol = crlf ? "\r\n" : "\n";
            eolSeen = true;
        }
        start += line.rawSize;
        text.lines.append(line);
    }
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
        why = QCoreApplication::translate("sonalto::settings", "文件夹 %1 不存在")
                  .arg(displayPath(folder.filePath()));
    else if (info.exists() && !info.isWritable())
        why = QCoreApplication::translate("sonalto::settings", "文件是只读的");
    else if (!folder.isWritable())
        why = QCoreApplication::translate("sonalto::settings", "没有在文件夹 %1 中写入的权限")
                  .arg(displayPath(folder.filePath()));
    else if (file.error() == QFileDevice::WriteError || file.error() == QFileDevice::ResourceError)
        why = QCoreApplication::translate("sonalto::settings", "写入失败，磁盘可能已满");
    else
        why = QCoreApplication::translate("sonalto::settings", "写入失败");
    return QCoreApplication::translate("sonalto::settings", "无法写入 %1：%2")
        .arg(displayPath(path), why);
}

// nullopt when the file exists but cannot be read (writing then would lose its contents) or
// is no regular file.
std::optional<FileBytes> readFile(const QString &path, QString *error = nullptr)
{
    const QFileInfo info(path);
    if (!info.exists())
        return FileBytes{};
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // Opening a pipe would wait for a writer, reading a device would not end.
    if (!info.isFile())
        return fail(QCoreApplication::translate("sonalto::settings", "%1 不是普通文件")
                        .arg(displayPath(path)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(
            QCoreApplication::translate("sonalto::settings", "无法读取 %1：%2")
                .arg(displayPath(path),
                     info.isReadable()
                         ? QCoreApplication::translate("sonalto::settings", "读取失败")
                         : QCoreApplication::translate("sonalto::settings", "没有读取权限")));
    }
    QByteArray bytes = file.read(IniFile::MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(QCoreApplication::translate("sonalto::settings", "无法读取 %1：读取失败")
                        .arg(displayPath(path)));
    FileBytes result;
    result.exists = true;
    result.tooLarge = bytes.size() > IniFile::MaxFileSize;
    if (result.tooLarge)
        bytes.truncate(IniFile::MaxFileSize);
    if (bytes.startsWith(Utf16LeBom)) {
        result.encoding = FileEncoding::Utf16LE;
        result.bom = Utf16LeBom;
    } else if (bytes.startsWith(Utf16BeBom)) {
        result.encoding = FileEncoding::Utf16BE;
        result.bom = Utf16BeBom;
    } else if (bytes.startsWith(Utf8Bom)) {
        result.bom = Utf8Bom;
    }
    result.content = bytes.sliced(result.bom.size());
    return result;
}

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Names are compared without decoding them where they are ASCII, as nearly all are.
bool sameName(QByteArrayView bytes, const QString &wanted)
{
    if (isAscii(bytes))
        return wanted.compare(QLatin1String(bytes.data(), bytes.size()), Qt::CaseInsensitive) == 0;
    return decodeText(bytes).compare(wanted, Qt::CaseInsensitive) == 0;
}

bool isComment(QByteArrayView line)
{
    return line.trimmed().startsWith(';');
}

// Nothing when the line is no section header, else whether it names the wanted section.
std::optional<bool> isHeaderOf(QByteArrayView line, const QString &wanted)
{
    const QByteArrayView trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    if (isAscii(trimmed)) {
        const qsizetype close = trimmed.indexOf(']');
        return sameName((close < 0 ? trimmed.sliced(1) : trimmed.sliced(1, close - 1)).trimmed(),
                        wanted);
    }
    // Decoded before looking for ']': a GBK trail byte can be 0x5D.
    const QString text = decodeText(trimmed);
    const qsizetype close = text.indexOf(QLatin1Char(']'));
    const QString name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

// The key's bytes as spelled in the file; '=' never occurs inside a GBK or UTF-8 sequence.
std::optional<QByteArrayView> keyBytes(QByteArrayView line)
{
    if (isComment(line) || line.trimmed().startsWith('['))
        return std::nullopt;
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return std::nullopt;
    const QByteArrayView key = line.first(eq).trimmed();
    if (key.isEmpty())
        return std::nullopt;
    return key;
}

// Where a section and one of its keys are, as line indexes.
struct Location
{
    qsizetype sectionLine = -1;
    qsizetype sectionEnd = -1; // first line after the section
    qsizetype keyLine = -1;
};

// Finds a section and a key in it from the lines given one by one.
class Locator
{
public:
    Locator(const QString &section, const QString &key)
        : m_section(section.trimmed()), m_key(key.trimmed())
    {
    }

    // False once the wanted section has ended: no further line changes the result.
    bool take(QByteArrayView line)
    {
        const qsizetype index = m_lines++;
        if (const auto wanted = isHeaderOf(line, m_section)) {
            if (m_found.sectionLine >= 0) {
                m_found.sectionEnd = index;
                return false;
            }
            if (*wanted)
                m_found.sectionLine = index;
            return true;
        }
        if (m_found.sectionLine >= 0 && m_found.keyLine < 0) {
            if (const auto key = keyBytes(line); key && sameName(*key, m_key))
                m_found.keyLine = index;
        }
        return true;
    }

    bool foundKey() const { return m_found.keyLine >= 0; }

    Location result() const
    {
        Location found = m_found;
        if (found.sectionLine >= 0 && found.sectionEnd < 0)
            found.sectionEnd = m_lines;
        return found;
    }

private:
    QString m_section, m_key;
    Location m_found;
    qsizetype m_lines = 0;
};

Location locate(const IniText &text, const QString &section, const QString &key)
{
    Locator locator(section, key);
    for (const Line &line : text.lines) {
        if (!locator.take(lineText(text, line)))
            break;
    }
    return locator.result();
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
QByteArray lineValue(QByteArrayView line)
{
    return unquoted(line.sliced(line.indexOf('=') + 1).trimmed().toByteArray());
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

// Reading goes through the lines without keeping them and stops at the key.
std::optional<RawValue> rawValue(const QString &path, const QString &section, const QString &key)
{
    const std::optional<FileBytes> file = readFile(path);
    if (!file)
        return std::nullopt;
    const bool utf16 = isUtf16(file->encoding);
    const QByteArray text =
        utf16 ? decodeUtf16(file->encoding, file->content).toUtf8() : file->content;
    Locator locator(section, key);
    std::optional<RawValue> value;
    forEachLine(text, file->tooLarge, [&](QByteArrayView line) {
        if (!locator.take(line))
            return false;
        if (locator.foundKey())
            value = RawValue{lineValue(line), utf16};
        return !value;
    });
    return value;
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
        return QCoreApplication::translate("sonalto::settings", "“%1”不能用作设置文件中的节名")
            .arg(value.section);
    if (key.isEmpty() || key.contains('=') || key.startsWith('[') || key.startsWith(';') ||
        !fitsOnOneLine(key))
        return QCoreApplication::translate("sonalto::settings", "“%1”不能用作设置文件中的键名")
            .arg(value.key);
    if (!fitsOnOneLine(value.bytes))
        return QCoreApplication::translate("sonalto::settings",
                                           "%1 的值含有换行符，设置文件的一行存不下它")
            .arg(value.key);
    return std::nullopt;
}

bool storedValueIs(const IniText &text, const QByteArray &stored, const Pending &value)
{
    if (value.text)
        return decodeText(stored) == *value.text;
    return (isUtf16(text.file.encoding) ? utf16ValueBytes(stored) : stored) == value.bytes;
}

Line addedLine(IniText &text, const QByteArray &content)
{
    Line line;
    line.changed = qint32(text.changed.size());
    text.changed.append(content);
    return line;
}

// Sets one key in the text of the file (already checked with cannotStore). False when the
// file already holds that value.
bool applyValue(IniText &text, const Pending &value)
{
    const Location loc = locate(text, value.section, value.key);
    if (loc.keyLine >= 0 &&
        storedValueIs(text, lineValue(lineText(text, text.lines.at(loc.keyLine))), value))
        return false;

    // A UTF-16 file holds text: bytes of no UTF-8 text go in as the characters of Latin-1,
    // which readBytes gives back as those bytes.
    QByteArray bytes = value.bytes;
    if (isUtf16(text.file.encoding) && !value.text && !bytes.isValidUtf8())
        bytes = QString::fromLatin1(bytes).toUtf8();
    const QByteArray stored = storedForm(bytes);
    const QByteArray keyUtf8 = value.key.trimmed().toUtf8();

    if (loc.keyLine >= 0) {
        Line &line = text.lines[loc.keyLine];
        const QByteArray spelling = keyBytes(lineText(text, line))->toByteArray();
        line.changed = qint32(text.changed.size());
        text.changed.append(spelling + '=' + stored);
    } else if (loc.sectionLine >= 0) {
        // After the section's last entry, so blank lines and comments that lead into the
        // next section stay in front of it.
        qsizetype insertAt = loc.sectionLine + 1;
        for (qsizetype i = loc.sectionLine + 1; i < loc.sectionEnd; ++i) {
            const QByteArrayView line = lineText(text, text.lines.at(i));
            if (!line.trimmed().isEmpty() && !isComment(line))
                insertAt = i + 1;
        }
        text.lines.insert(insertAt, addedLine(text, keyUtf8 + '=' + stored));
    } else {
        text.lines.append(addedLine(text, '[' + value.section.trimmed().toUtf8() + ']'));
        text.lines.append(addedLine(text, keyUtf8 + '=' + stored));
    }
    return true;
}

QByteArray fileContent(const IniText &text)
{
    const FileEncoding encoding = text.file.encoding;
    const QByteArray eol = encodeForFile(encoding, text.eol);
    QByteArray content = text.file.bom;
    content.reserve(text.file.content.size() + 1024);
    for (qsizetype i = 0; i < text.lines.size(); ++i) {
        const Line &line = text.lines.at(i);
        const QByteArrayView end = lineEnd(text, line);
        if (line.changed >= 0) {
            content += encodeForFile(encoding, text.changed.at(line.changed));
            content += end.isEmpty() ? eol : encodeForFile(encoding, end.toByteArray());
            continue;
        }
        content += lineBytes(text, line);
        if (end.isEmpty() && i + 1 < text.lines.size())
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
    std::optional<FileBytes> file = readFile(path, error);
    if (!file)
        return false;
    if (file->tooLarge) {
        if (error)
            *error = QCoreApplication::translate(
                         "sonalto::settings", "%1 大于 %2 KiB，不像是设置文件；为不损坏其中的内容，"
                                              "没有改动它")
                         .arg(displayPath(path))
                         .arg(IniFile::MaxFileSize / 1024);
        return false;
    }
    const bool exists = file->exists;
    IniText text = splitLines(std::move(*file));
    bool changed = !exists;
    for (const Pending &value : values)
        changed = applyValue(text, value) || changed;
    return !changed || commitText(path, text, error);
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
