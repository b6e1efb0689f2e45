#pragma once

#include "hotkeys/HotKeyList.h"

#include <QString>

namespace sonalto::hotkeys {

// HotKey.ini, section "HotKey": Count, then HotKey<i> (the key code itself as a
// single raw byte, in quotes when it is a blank) and CASKey<i> (the modifier
// bits in decimal) for each of the three roles. An entry without a key is
// written with an empty HotKey<i> and CASKey<i>=255.

QString hotKeyFilePath(const QString &appDir);

// Whether a key code can be written as the byte of a HotKey<i> line: every code
// but the two line-break bytes (Enter is 0x0D) and 0.
bool canStoreKey(uint8_t key);

// Reads the role entries Count names (at most the three roles; entries past
// them never act, so they are not read). An entry holds a key only when its
// HotKey<i> is one byte that is a key and its CASKey<i> is missing or 0..7: a
// missing line, an empty value, text such as "F9", a number that is no set of
// modifiers leave that entry alone without a key, so that it takes no key from
// other programs. A Count that is not a number reads the three roles. A
// missing file or Count gives an empty list.
//
// *notice (when given): the values ignored this way, named for the user, or
// empty. False, with the reason in *notice and an empty list, only when the
// file is there but cannot be read. *entriesRead: the entries read (the list's
// count).
bool loadHotKeys(const QString &path, HotKeyList &list, QString *notice,
                 int *entriesRead = nullptr);

// Writes Count=3, then HotKey<i> and CASKey<i> of the three roles, in that
// order, in one replacement of the file; every other line of the file stays as
// it is. Every entry is checked first: when one cannot be stored, or the file
// cannot be written, nothing changes and *error says why.
bool saveHotKeys(const QString &path, const HotKeyList &list, QString *error = nullptr);

// On a first start: a file with the three role entries and no keys in them, so
// that the key-option dialog has entries to save what the user chooses. An
// existing file is left as it is. False when it cannot be created.
bool createHotKeyFileIfMissing(const QString &path);

// The name of a role the user knows ("录制键", "停止键", "暂停/恢复键").
QString roleName(int entry);

} // namespace sonalto::hotkeys
