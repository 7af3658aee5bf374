#pragma once

#include "settings/Settings.h"

#include <QString>
#include <QVariant>

namespace wendle {

class Preferences;

// What a setting is for, in one line for `wendle config list` and
// `wendle config describe`.
QString settingDescription(const QString &key);
// The word for a type as the owner reads it: "boolean", "integer", ...
QString settingTypeName(SettingType type);
// The values a key allows beyond its type, in words ("smtp:// or smtps://
// address"); empty when any value of the type goes.
QString settingAllowedValues(const QString &key);
// The words a choice allows (mailTransport, chatTransport); empty for other keys.
QStringList settingChoices(const QString &key);
// The least and largest number a numeric key takes (infinite when open).
QPair<double, double> settingRange(const SettingInfo &info);

// Why the value cannot be stored under the key, or an empty string when it
// can. The value may be parsed already or text as an INI file holds it.
QString checkSettingValue(const QString &key, const QVariant &value);

// Text as the owner meant it: blanks around it dropped, the names of a
// choice lower-cased.
QString normalizedSettingText(const QString &key, const QString &text);

// The stored form of a value and back: lists as JSON text and colours as
// "#RRGGBB", so the file reads as text; older files hold Qt's encoded
// variants (@Variant, @ByteArray), which decode too.
QVariant storedForm(const QString &key, const QVariant &value);
QVariant usableForm(const QString &key, const QVariant &stored);

// The value readers use: the stored one while it passes checkSettingValue
// (a value stored by hand, or before a rule existed, may not); otherwise
// the registered default, except that a broken sender address reads as
// empty (nobody) and a broken secret stays (it matches no command).
QVariant checkedSettingValue(const Preferences &preferences, const QString &key);

// Why the stored value of the key is not used, or an empty string when it
// is (or nothing is stored).
QString storedSettingProblem(const Preferences &preferences, const QString &key);

// Known keys that look like a mistyped one, closest first.
QStringList similarSettingKeys(const QString &key);

} // namespace wendle
