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
// first matching section and the first matching key in it win. Writing keeps every other line
// (comments, blanks, lines before the first section, lines without '=') and the file's line
// ending style, and replaces the file atomically. A value that reading would change (blanks at
// either end, or surrounding quotes of its own) is written in quotes, so every value reads back
// exactly as it was written, here and on Windows.
//
// Text is written as UTF-8. A file that is not valid UTF-8 comes from Windows and is read as
// GBK; when such a file is rewritten its lines become UTF-8, except lines that are not GBK text
// either (raw key codes), which are kept byte for byte. A UTF-16 file with its byte order mark
// is read too, and a write rewrites all of it as UTF-8.
class IniFile
{
public:
    explicit IniFile(QString path);

    const QString &path() const;

    // Missing file, section or key gives def. The value is trimmed and one pair of surrounding
    // quotes (" or ') is removed.
    QString readString(const QString &section, const QString &key, const QString &def) const;

    // Rewrites the key's line in place as "key=value" (keeping the key's spelling in the file)
    // or appends it at the end of its section, creating "[section]" at the end of the file.
    // Creates the file when missing. False when the file cannot be read or written, or when a
    // name or the value could not be stored on one line.
    bool writeString(const QString &section, const QString &key, const QString &value);

    // A value that is not a decimal integer gives def and *ok = false. A missing key gives def
    // and *ok = true: the default is what the caller asked for.
    int readInt(const QString &section, const QString &key, int def, bool *ok = nullptr) const;
    bool writeInt(const QString &section, const QString &key, int value);

    // The value's bytes as stored, without conversion: HotKey.ini keeps single raw bytes there
    // that no text encoding would survive. Trimmed and unquoted as readString does.
    QByteArray readBytes(const QString &section, const QString &key, const QByteArray &def) const;
    bool writeBytes(const QString &section, const QString &key, const QByteArray &value);

    // Writes several keys of one section, in order, with one replacement of the file. When any
    // name or value cannot be stored nothing is written; *error then says why.
    bool writeSection(const QString &section, const QList<std::pair<QString, QByteArray>> &values,
                      QString *error = nullptr);

private:
    QString m_path;
};

} // namespace sonalto::settings
