#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace wendle {

// What the shell completes after a command's name: its options and words.
// An option that takes a value names its kind after "=": FILE and DIR
// complete paths, anything else completes nothing.
struct CommandWords {
    QString name;
    QStringList words;
};

// The bash completion script, made from the command table, the settings
// table and the help book, so that none of them can be left out.
QString completionScript(const QList<CommandWords> &commands);

// The manual page's SETTINGS and HELP PAGES sections in roff, from the same tables.
QString manualSections();

} // namespace wendle
