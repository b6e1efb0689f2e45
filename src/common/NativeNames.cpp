#include "common/NativeNames.h"

#include <QStringDecoder>

#include <algorithm>

namespace sonalto {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool isEscape(QChar c)
{
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

// The length of the valid UTF-8 sequence at `i`, or 0.
int utf8Sequence(const QByteArray &bytes, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return uchar(bytes.at(k)); };
    const uchar b = byte(i);
    int length = 0;
    char32_t code = 0;
    if (b < 0x80)
        return 1;
    if ((b & 0xE0) == 0xC0)
        length = 2, code = b & 0x1F;
    else if ((b & 0xF0) == 0xE0)
        length = 3, code = b & 0x0F;
    else if ((b & 0xF8) == 0xF0)
        length = 4, code = b & 0x07;
    else
        return 0;
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing past the last code point.
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

QString decodeFileName(const QByteArray &native)
{
    QString name;
    name.reserve(native.size());
    for (qsizetype i = 0; i < native.size();) {
        const int length = utf8Sequence(native, i);
        if (length == 0) {
            name += QChar(char16_t(EscapeBase + uchar(native.at(i))));
            ++i;
        } else {
            name += QString::fromUtf8(native.constData() + i, length);
            i += length;
        }
    }
    return name;
}

QByteArray encodeFileName(const QString &name)
{
    if (!hasRawBytes(name))
        return name.toUtf8();
    QByteArray native;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !isEscape(name.at(i)))
            continue;
        native += QStringView(name).mid(from, i - from).toUtf8();
        if (i < name.size())
            native += char(name.at(i).unicode() - EscapeBase);
        from = i + 1;
    }
    return native;
}

bool hasRawBytes(const QString &name)
{
    for (QChar c : name)
        if (isEscape(c))
            return true;
    return false;
}

QString readableFileName(const QString &name)
{
    if (!hasRawBytes(name))
        return name;
    QStringDecoder gbk("GBK");
    const QString text = gbk.decode(encodeFileName(name));
    // Bytes of another encoding often pass as GBK, but land in its private-use area.
    const bool privateUse = std::any_of(
        text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_PrivateUse; });
    if (gbk.isValid() && !gbk.hasError() && !privateUse)
        return text;
    QString shown = name;
    for (QChar &c : shown)
        if (isEscape(c))
            c = QChar::ReplacementCharacter;
    return shown;
}

} // namespace sonalto
