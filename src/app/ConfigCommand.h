#pragma once

#include <QStringList>
#include <QTextStream>
#include <QVariant>

namespace wendle {

class Preferences;
struct SettingInfo;

// `wendle config get|set|unset|describe KEY [VALUE]` and `config list`: each key
// with its type and what it is for; values checked against the key's type and
// range; mistyped keys answered with the closest known ones. Returns the
// process exit code: 0 done, 2 bad usage or a value the key cannot take.
int runConfigCommand(Preferences &preferences, const QStringList &arguments, QTextStream &out, QTextStream &err);

// The whole `wendle config` subcommand on the owner's settings file, with
// the registered defaults; a change the file cannot take exits 1.
int runConfigSubcommand(const QStringList &arguments, QTextStream &out, QTextStream &err);

// The value text typed for a key stands for, checked as `config set` checks
// it (type, range, rule; listed keys in the keyring); invalid with *error
// saying why when the key cannot take it.
QVariant typedSettingValue(const SettingInfo &info, const QString &text, QString *error);

// A stored or default value as the owner reads and writes it on the command line.
QString displaySettingValue(const QString &key, const QVariant &value);

} // namespace wendle
