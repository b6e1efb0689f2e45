#include "hotkeys/HotKeyFile.h"

#include "settings/IniFile.h"

#include <algorithm>

namespace sonalto::hotkeys {

namespace {

const QString Section = QStringLiteral("HotKey");

// The message the user sees for a value that is not a number.
QString conversionError(const QString &text)
{
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

bool readNumber(const settings::IniFile &ini, const QString &key, int *value, QString *error)
{
    const QString text = ini.readString(Section, key, QStringLiteral("0"));
    bool ok = false;
    const int number = text.toInt(&ok, 10);
    if (!ok) {
        if (error)
            *error = conversionError(text);
        return false;
    }
    *value = number;
    return true;
}

} // namespace

QString hotKeyFilePath(const QString &appDir)
{
    return appDir + QStringLiteral("HotKey.ini");
}

bool loadHotKeys(const QString &path, HotKeyList &list, QString *error, int *entriesRead)
{
    if (entriesRead)
        *entriesRead = 0;
    const settings::IniFile ini(path);
    int count = 0;
    if (!readNumber(ini, QStringLiteral("Count"), &count, error))
        return false;
    // The arrays hold 99 entries; a larger count in a hand-edited file reads
    // the first 99.
    list.count = std::clamp(count, 0, HotKeyList::Capacity);
    for (int i = 0; i < list.count; ++i) {
        const QByteArray key =
            ini.readBytes(Section, QStringLiteral("HotKey%1").arg(i), QByteArrayLiteral("0"));
        list.keys[size_t(i)] = key.isEmpty() ? 0 : uint8_t(key.at(0));
        int modifiers = 0;
        if (!readNumber(ini, QStringLiteral("CASKey%1").arg(i), &modifiers, error))
            return false;
        list.modifiers[size_t(i)] = uint8_t(modifiers);
        if (entriesRead)
            *entriesRead = i + 1;
    }
    return true;
}

bool saveHotKeys(const QString &path, const HotKeyList &list)
{
    settings::IniFile ini(path);
    bool ok = ini.writeInt(Section, QStringLiteral("Count"), list.count);
    const int count = std::clamp(list.count, 0, HotKeyList::Capacity);
    for (int i = 0; i < count; ++i) {
        ok = ini.writeBytes(Section, QStringLiteral("HotKey%1").arg(i),
                            QByteArray(1, char(list.keys[size_t(i)]))) &&
             ok;
        ok = ini.writeInt(Section, QStringLiteral("CASKey%1").arg(i), list.modifiers[size_t(i)]) &&
             ok;
    }
    return ok;
}

} // namespace sonalto::hotkeys
