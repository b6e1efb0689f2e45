#include "settings/IniFile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <QStringDecoder>

#include <optional>
#include <utility>

namespace sonalto::settings {

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

// The whole file as lines without their line ends.
struct IniText
{
    QByteArray bom;
    QList<QByteArray> lines;
    bool crlf = false;
    bool utf8 = true;
    QByteArray original; // the file's bytes as read (empty for a new file)
    bool exists = false;
};

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    // decode() is lazy: the text must be produced for the error state to be set.
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QString decodeGbk(const QByteArray &bytes, bool *error = nullptr)
{
    QStringDecoder decoder("GBK");
    QString text = decoder.decode(bytes);
    if (error)
        *error = !decoder.isValid() || decoder.hasError();
    return text;
}

QString decode(const QByteArray &bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : decodeGbk(bytes);
}

// A UTF-16 file (which the Windows profile functions read when it starts with a byte order
// mark) is taken as its text in UTF-8: a rewrite then leaves the whole file in one encoding.
void utf16ToUtf8(QByteArray &content)
{
    const bool le = content.startsWith("\xFF\xFE");
    if (!le && !content.startsWith("\xFE\xFF"))
        return;
    QStringDecoder decoder(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE,
                           QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(QByteArrayView(content).sliced(2));
    content = text.toUtf8();
}

IniText splitText(QByteArray content)
{
    IniText text;
    utf16ToUtf8(content);
    if (content.startsWith(Utf8Bom)) {
        text.bom = Utf8Bom;
        content.remove(0, Utf8Bom.size());
    }
    text.utf8 = isValidUtf8(content);
    const qsizetype firstNewline = content.indexOf('\n');
    text.crlf = firstNewline > 0 && content.at(firstNewline - 1) == '\r';
    if (content.isEmpty())
        return text;
    text.lines = content.split('\n');
    if (content.endsWith('\n'))
        text.lines.removeLast();
    for (QByteArray &line : text.lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return text;
}

// nullopt when the file exists but cannot be read: writing then would lose its contents.
std::optional<IniText> loadText(const QString &path, QString *error = nullptr)
{
    QFile file(path);
    if (!file.exists())
        return IniText{};
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    IniText text = splitText(bytes);
    text.original = bytes;
    text.exists = true;
    return text;
}

std::optional<QString> sectionName(const QByteArray &line, bool utf8)
{
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.startsWith('['))
        return std::nullopt;
    // Decoded before looking for ']': a GBK trail byte can be 0x5D.
    const QString text = decode(trimmed, utf8);
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
        const QByteArray &line = text.lines.at(i);
        if (const auto name = sectionName(line, text.utf8)) {
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
        if (const auto k = keyBytes(line); k && sameName(decode(*k, text.utf8), wantedKey))
            loc.keyLine = i;
    }
    if (loc.sectionLine >= 0)
        loc.sectionEnd = text.lines.size();
    return loc;
}

struct RawValue
{
    QByteArray bytes;
    bool utf8 = true;
};

std::optional<RawValue> rawValue(const QString &path, const QString &section, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const IniText text = splitText(file.readAll());
    file.close();
    const Location loc = locate(text, section, key);
    if (loc.keyLine < 0)
        return std::nullopt;
    const QByteArray &line = text.lines.at(loc.keyLine);
    return RawValue{line.mid(line.indexOf('=') + 1).trimmed(), text.utf8};
}

// True when every byte above ASCII belongs to a two-byte GBK character. Decoders also accept
// single bytes such as 0x80 (the euro sign of code page 936) or map 0xFF somewhere, but a single
// high byte in an INI file is a raw key code, not text.
bool isGbkText(const QByteArray &line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto lead = static_cast<unsigned char>(line.at(i));
        if (lead < 0x80)
            continue;
        if (lead == 0x80 || lead == 0xFF || i + 1 >= line.size())
            return false;
        const auto trail = static_cast<unsigned char>(line.at(++i));
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF)
            return false;
    }
    return true;
}

// A line of a GBK file as UTF-8; a line that is not GBK text holds raw bytes and stays as is.
QByteArray toUtf8Line(const QByteArray &line)
{
    if (!isGbkText(line))
        return line;
    bool error = false;
    const QString text = decodeGbk(line, &error);
    return error ? line : text.toUtf8();
}

bool fitsOnOneLine(const QByteArray &bytes)
{
    return !bytes.contains('\n') && !bytes.contains('\r');
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

bool canStore(const QByteArray &sectionUtf8, const QByteArray &keyUtf8, const QByteArray &value)
{
    if (sectionUtf8.isEmpty() || sectionUtf8.contains(']') || !fitsOnOneLine(sectionUtf8))
        return false;
    return !keyUtf8.isEmpty() && !keyUtf8.contains('=') && !keyUtf8.startsWith('[') &&
           !keyUtf8.startsWith(';') && fitsOnOneLine(keyUtf8) && fitsOnOneLine(value);
}

// Sets one key in the text of the file (already checked with canStore).
void applyValue(IniText &text, const QString &section, const QString &key, const QByteArray &value)
{
    const QByteArray sectionUtf8 = section.trimmed().toUtf8();
    const QByteArray keyUtf8 = key.trimmed().toUtf8();
    const QByteArray stored = storedForm(value);
    const Location loc = locate(text, section, key);

    if (!text.utf8) {
        for (qsizetype i = 0; i < text.lines.size(); ++i) {
            if (i != loc.keyLine)
                text.lines[i] = toUtf8Line(text.lines.at(i));
        }
    }

    if (loc.keyLine >= 0) {
        QByteArray spelling = *keyBytes(text.lines.at(loc.keyLine));
        if (!text.utf8)
            spelling = toUtf8Line(spelling);
        text.lines[loc.keyLine] = spelling + '=' + stored;
    } else if (loc.sectionLine >= 0) {
        // After the section's last entry, so blank lines and comments that lead into the
        // next section stay in front of it.
        qsizetype insertAt = loc.sectionLine + 1;
        for (qsizetype i = loc.sectionLine + 1; i < loc.sectionEnd; ++i) {
            const QByteArray &line = text.lines.at(i);
            if (!line.trimmed().isEmpty() && !isComment(line))
                insertAt = i + 1;
        }
        text.lines.insert(insertAt, keyUtf8 + '=' + stored);
    } else {
        text.lines.append('[' + sectionUtf8 + ']');
        text.lines.append(keyUtf8 + '=' + stored);
    }
}

bool commitText(const QString &path, const IniText &text, QString *error)
{
    const QByteArray eol = text.crlf ? QByteArray("\r\n") : QByteArray("\n");
    QByteArray content = text.bom;
    for (const QByteArray &line : std::as_const(text.lines)) {
        content += line;
        content += eol;
    }

    // Storing what is already there leaves the file alone: replacing it would
    // wait for the disk (the replacement is synced) at every start, for nothing.
    if (text.exists && content == text.original)
        return true;
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    if (error)
        *error = file.errorString();
    file.cancelWriting();
    return false;
}

// Every value is checked before the file is touched, and the file is replaced once:
// either all of them are written or none.
bool writeValues(const QString &path, const QString &section,
                 const QList<std::pair<QString, QByteArray>> &values, QString *error = nullptr)
{
    const QByteArray sectionUtf8 = section.trimmed().toUtf8();
    for (const auto &[key, value] : values) {
        if (!canStore(sectionUtf8, key.trimmed().toUtf8(), value)) {
            if (error)
                *error = QStringLiteral("%1 cannot be stored on one line of the file").arg(key);
            return false;
        }
    }
    std::optional<IniText> loaded = loadText(path, error);
    if (!loaded)
        return false;
    for (const auto &[key, value] : values)
        applyValue(*loaded, section, key, value);
    return commitText(path, *loaded, error);
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
    if (!raw)
        return def;
    return decode(unquoted(raw->bytes), raw->utf8);
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
    return writeValues(m_path, section, {{key, value.toUtf8()}});
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

bool IniFile::writeInt(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}

QByteArray IniFile::readBytes(const QString &section, const QString &key,
                              const QByteArray &def) const
{
    const auto raw = rawValue(m_path, section, key);
    return raw ? unquoted(raw->bytes) : def;
}

bool IniFile::writeBytes(const QString &section, const QString &key, const QByteArray &value)
{
    return writeValues(m_path, section, {{key, value}});
}

bool IniFile::writeSection(const QString &section,
                           const QList<std::pair<QString, QByteArray>> &values, QString *error)
{
    return writeValues(m_path, section, values, error);
}

} // namespace sonalto::settings
