#include "hotkeys/HotKeyFile.h"

#include "hotkeys/KeyNames.h"
#include "settings/IniFile.h"

#include <QFileInfo>

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

bool canStoreKey(uint8_t key)
{
    return key != 0 && key != '\n' && key != '\r';
}

bool saveHotKeys(const QString &path, const HotKeyList &list, QString *error)
{
    const int count = std::clamp(list.count, 0, HotKeyList::Capacity);
    QList<std::pair<QString, QByteArray>> values;
    values.append({QStringLiteral("Count"), QByteArray::number(count)});
    for (int i = 0; i < count; ++i) {
        const uint8_t key = list.keys[size_t(i)];
        const bool hasKey = list.hasKey(i);
        if (hasKey && !canStoreKey(key)) {
            if (error)
                *error = QStringLiteral("%1 cannot be stored in %2")
                             .arg(displayText(key, list.modifiers[size_t(i)]), path);
            return false;
        }
        values.append(
            {QStringLiteral("HotKey%1").arg(i), hasKey ? QByteArray(1, char(key)) : QByteArray()});
        values.append({QStringLiteral("CASKey%1").arg(i),
                       QByteArray::number(hasKey ? list.modifiers[size_t(i)] : ClearedKey)});
    }
    QString reason;
    if (!settings::IniFile(path).writeSection(Section, values, &reason)) {
        if (error)
            *error = QStringLiteral("Couldn't write %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

bool createHotKeyFileIfMissing(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    HotKeyList list;
    list.count = PauseKey + 1;
    for (int i = 0; i < list.count; ++i)
        list.clearEntry(i);
    return saveHotKeys(path, list);
}

} // namespace sonalto::hotkeys
