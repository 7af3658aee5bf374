#pragma once

#include "app/Settings.h"

#include <QString>
#include <QVariant>

namespace wendle {

class Preferences;

// What a setting is for, in one line for `wendle config list` and
// `wendle config describe`; empty for a key nobody described.
QString settingDescription(const QString &key);
// The word for a type as the owner reads it: "boolean", "integer", ...
QString settingTypeName(SettingType type);
// The values a key allows beyond its type, in words ("smtp:// or smtps://
// address"); empty when any value of the type goes.
QString settingAllowedValues(const QString &key);

// Why the parsed value cannot be stored under the key, or an empty string
// when it can.
QString checkSettingValue(const QString &key, const QVariant &value);

// The value readers use: the stored one while it passes checkSettingValue
// (a value stored by hand, or before a rule existed, may not); otherwise
// the registered default, except that a broken sender address reads as
// empty (nobody) and a broken secret stays (it matches no command).
QVariant checkedSettingValue(const Preferences &preferences, const QString &key);

// Known keys that look like a mistyped one, closest first.
QStringList similarSettingKeys(const QString &key);

} // namespace wendle
