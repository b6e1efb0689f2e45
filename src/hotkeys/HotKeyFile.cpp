#include "hotkeys/HotKeyFile.h"

#include "hotkeys/KeyNames.h"
#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace sonalto::hotkeys {

namespace {

const QString Section = QStringLiteral("HotKey");

QString hotKeyName(int entry)
{
    return QStringLiteral("HotKey%1").arg(entry);
}

QString modifierName(int entry)
{
    return QStringLiteral("CASKey%1").arg(entry);
}

// A value as the user would see it in the file; bytes that show nothing are
// written as \xNN.
QString shownValue(const QByteArray &bytes)
{
    QString shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F)
            shown += QLatin1Char(c);
        else
            shown += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    }
    return shown;
}

} // namespace

QString hotKeyFilePath(const QString &appDir)
{
    return appDir + QStringLiteral("HotKey.ini");
}

QString roleName(int entry)
{
    switch (entry) {
    case RecordKey:
        return QCoreApplication::translate("sonalto::hotkeys", "录制键");
    case StopKey:
        return QCoreApplication::translate("sonalto::hotkeys", "停止键");
    case PauseKey:
        return QCoreApplication::translate("sonalto::hotkeys", "暂停/恢复键");
    default:
        return QString();
    }
}

bool loadHotKeys(const QString &path, HotKeyList &list, QString *notice, int *entriesRead)
{
    if (entriesRead)
        *entriesRead = 0;
    if (notice)
        notice->clear();
    list.count = 0;
    if (const QFileInfo info(path); info.exists() && (!info.isFile() || !info.isReadable())) {
        if (notice)
            *notice = QCoreApplication::translate("sonalto::hotkeys", "无法读取 %1，没有可用的热键")
                          .arg(path);
        return false;
    }
    const settings::IniFile ini(path);
    QStringList ignored;
    const QByteArray countText = ini.readBytes(Section, QStringLiteral("Count"), "0");
    bool ok = false;
    int count = countText.toInt(&ok, 10);
    if (!ok) {
        ignored << QStringLiteral("Count=%1").arg(shownValue(countText));
        count = HotKeyList::Roles;
    }
    list.count = std::clamp(count, 0, HotKeyList::Roles);
    for (int i = 0; i < list.count; ++i) {
        list.clearEntry(i);
        const QByteArray key = ini.readBytes(Section, hotKeyName(i), QByteArray());
        const QByteArray modifierText = ini.readBytes(Section, modifierName(i), "0");
        const int modifiers = modifierText.toInt(&ok, 10);
        // Written by the program for an entry without a key, or no key at all.
        if (key.isEmpty() || (ok && modifiers == ClearedKey))
            continue;
        if (key.size() != 1 || !HotKeyList::isKey(uint8_t(key.at(0)), 0)) {
            ignored << QStringLiteral("%1 %2=%3").arg(roleName(i), hotKeyName(i), shownValue(key));
            continue;
        }
        if (!ok || modifiers < 0 || modifiers > (ModCtrl | ModAlt | ModShift)) {
            ignored << QStringLiteral("%1 %2=%3")
                           .arg(roleName(i), modifierName(i), shownValue(modifierText));
            continue;
        }
        list.keys[size_t(i)] = uint8_t(key.at(0));
        list.modifiers[size_t(i)] = uint8_t(modifiers);
    }
    if (entriesRead)
        *entriesRead = list.count;
    if (notice && !ignored.isEmpty())
        *notice = QCoreApplication::translate("sonalto::hotkeys",
                                              "HotKey.ini 中这些值无法用作热键，已忽略：%1")
                      .arg(ignored.join(QCoreApplication::translate("sonalto::hotkeys", "；")));
    return true;
}

bool canStoreKey(uint8_t key)
{
    return key != 0 && key != '\n' && key != '\r';
}

bool saveHotKeys(const QString &path, const HotKeyList &list, QString *error)
{
    QList<std::pair<QString, QByteArray>> values;
    values.append({QStringLiteral("Count"), QByteArray::number(HotKeyList::Roles)});
    for (int i = 0; i < HotKeyList::Roles; ++i) {
        const uint8_t key = list.keys[size_t(i)];
        const bool hasKey = i < list.count && list.hasKey(i);
        if (hasKey && !canStoreKey(key)) {
            if (error)
                *error = QCoreApplication::translate("sonalto::hotkeys", "%1 无法存入 HotKey.ini")
                             .arg(displayText(key, list.modifiers[size_t(i)]));
            return false;
        }
        values.append({hotKeyName(i), hasKey ? QByteArray(1, char(key)) : QByteArray()});
        values.append(
            {modifierName(i), QByteArray::number(hasKey ? list.modifiers[size_t(i)] : ClearedKey)});
    }
    return settings::IniFile(path).writeSection(Section, values, error);
}

bool createHotKeyFileIfMissing(const QString &path)
{
    if (QFileInfo::exists(path))
        return true;
    HotKeyList list;
    list.count = HotKeyList::Roles;
    for (int i = 0; i < list.count; ++i)
        list.clearEntry(i);
    return saveHotKeys(path, list);
}

} // namespace sonalto::hotkeys
