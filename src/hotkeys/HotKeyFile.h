#pragma once

#include "hotkeys/HotKeyList.h"

#include <QString>

namespace sonalto::hotkeys {

// HotKey.ini, section "HotKey": Count, then HotKey<i> (the key code itself as a
// single raw byte, in quotes when it is a blank) and CASKey<i> (the modifier
// bits in decimal) for i < Count. An entry without a key is written with an
// empty HotKey<i> and CASKey<i>=255.

QString hotKeyFilePath(const QString &appDir);

// Whether a key code can be written as the byte of a HotKey<i> line: every code
// but the two line-break bytes (Enter is 0x0D) and 0.
bool canStoreKey(uint8_t key);

// Reads Count and the entries below it into list (at most Capacity of them).
// A Count or CASKey value that is not a decimal integer stops the reading with
// the conversion error in *error; entries read before it keep their new values.
// A missing file or Count gives an empty list. *entriesRead: how many entries
// were read completely.
bool loadHotKeys(const QString &path, HotKeyList &list, QString *error, int *entriesRead = nullptr);

// Writes Count, then HotKey<i> and CASKey<i> for each i < count, in that order,
// in one replacement of the file. Every entry is checked first: when one cannot
// be stored, or the file cannot be written, nothing changes and *error says why.
bool saveHotKeys(const QString &path, const HotKeyList &list, QString *error = nullptr);

// On a first start: a file with the three role entries and no keys in them, so
// that the key-option dialog has entries to save what the user chooses. An
// existing file is left as it is. False when it cannot be created.
bool createHotKeyFileIfMissing(const QString &path);

} // namespace sonalto::hotkeys
