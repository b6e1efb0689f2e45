#pragma once

#include <QByteArray>
#include <QString>

namespace sonalto {

// File names are bytes. Names that are UTF-8 (nearly all) are their text; the bytes of
// a name that is not (a name in GBK from an old archive) are kept in the text as lone
// surrogates U+DC80..U+DCFF, one per byte that is not part of valid UTF-8, so that the
// text names exactly that file again. Such a text goes to the system only through
// encodeFileName(), never through Qt's own encoding, which would replace those bytes.

QString decodeFileName(const QByteArray &native);
QByteArray encodeFileName(const QString &name);
// Whether the name holds bytes kept that way.
bool hasRawBytes(const QString &name);
// The name as a person reads it: a kept name that is GBK text in that encoding,
// otherwise with U+FFFD for each byte that is no text.
QString readableFileName(const QString &name);

} // namespace sonalto
