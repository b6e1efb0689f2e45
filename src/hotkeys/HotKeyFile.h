#pragma once

#include "hotkeys/HotKeyList.h"

#include <QString>

namespace sonalto::hotkeys {

// HotKey.ini, section "HotKey": Count, then HotKey<i> (the key code itself as a
// single raw byte) and CASKey<i> (the modifier bits in decimal) for i < Count.

QString hotKeyFilePath(const QString &appDir);

// Reads Count and the entries below it into list (at most Capacity of them).
// A Count or CASKey value that is not a decimal integer stops the reading with
// the conversion error in *error; entries read before it keep their new values.
// A missing file or Count gives an empty list. *entriesRead: how many entries
// were read completely.
bool loadHotKeys(const QString &path, HotKeyList &list, QString *error, int *entriesRead = nullptr);

// Writes Count, then HotKey<i> and CASKey<i> for each i < count, in that order.
bool saveHotKeys(const QString &path, const HotKeyList &list);

} // namespace sonalto::hotkeys
