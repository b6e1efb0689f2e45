#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace sonalto::settings {

// An INI file read and written the way the Windows profile-string functions do it, so the
// Config.ini and HotKey.ini files users bring from Windows keep working unchanged.
//
// The file is opened for every operation and never cached: two dialogs writing the same file
// always see each other's changes. Section and key names match without regard to case; the
// first matching section and the first matching key in it win. A value that reading would
// change (blanks at either end, or surrounding quotes of its own) is written in quotes, so every
// value reads back exactly as it was written, here and on Windows.
//
// Encodings are decided per value, not per file, since files edited on several systems mix
// them: a value that is valid UTF-8 is UTF-8; otherwise GBK (the code page of files written on
// Chinese Windows) when all of it is GBK text; otherwise Latin-1, which keeps every byte. Names
// of sections and keys are decoded the same way, per line. A UTF-16 file with its byte order
// mark is read as text.
//
// A write changes only the lines of the values that differ from what is stored (the stored
// value decoded as above is compared with the new one); every other line keeps its bytes,
// including its own line end, and so do the byte order mark and the file's encoding. Values
// written are UTF-8 (in a UTF-16 file, UTF-16). Writing what is stored leaves the file alone;
// otherwise it is replaced atomically.
//
// Only the first MaxFileSize bytes are read; what follows, and a line cut there, is not there
// for reading. Such a file is never written: a write is refused with the reason, since rewriting
// would mean either dropping the rest of the user's file or copying it at every write. A path
// that is not a regular file (a device, a pipe, a folder) reads as missing and is never written.
class IniFile
{
public:
    // Settings files hold a few hundred bytes; anything near this size is not one.
    static constexpr qint64 MaxFileSize = 1024 * 1024;

    explicit IniFile(QString path);

    const QString &path() const;

    // Missing file, section or key gives def. The value is trimmed and one pair of surrounding
    // quotes (" or ') is removed.
    QString readString(const QString &section, const QString &key, const QString &def) const;

    // Rewrites the key's line in place as "key=value" (keeping the key's spelling in the file)
    // or appends it at the end of its section, creating "[section]" at the end of the file.
    // Creates the file when missing. False when the file cannot be read or written, or when a
    // name or the value could not be stored on one line; *error then says why, in the words
    // the window shows the user.
    bool writeString(const QString &section, const QString &key, const QString &value,
                     QString *error = nullptr);

    // A value that is not a decimal integer gives def and *ok = false. A missing key gives def
    // and *ok = true: the default is what the caller asked for.
    int readInt(const QString &section, const QString &key, int def, bool *ok = nullptr) const;
    bool writeInt(const QString &section, const QString &key, int value, QString *error = nullptr);

    // The value's bytes as stored, without conversion: HotKey.ini keeps single raw bytes there
    // that no text encoding would survive. Trimmed and unquoted as readString does. In a UTF-16
    // file a value whose characters all lie below 256 gives those as bytes (as the Windows
    // functions give it in a single-byte code page), any other its UTF-8.
    QByteArray readBytes(const QString &section, const QString &key, const QByteArray &def) const;
    bool writeBytes(const QString &section, const QString &key, const QByteArray &value,
                    QString *error = nullptr);

    // Writes several keys of one section, in order, with one replacement of the file. When any
    // name or value cannot be stored nothing is written; *error then says why.
    bool writeSection(const QString &section, const QList<std::pair<QString, QByteArray>> &values,
                      QString *error = nullptr);

    // Text values of any sections, written in order with one replacement of the file (the
    // settings a window saves as it closes); all of them or, with *error, none.
    struct Entry
    {
        QString section;
        QString key;
        QString value;
    };
    bool writeEntries(const QList<Entry> &entries, QString *error = nullptr);

private:
    QString m_path;
};

} // namespace sonalto::settings
