#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace wendle {

// Folders of complete messages, one .eml file each (outbox, SMTP queue, sent,
// failed). File names start with the UTC time of writing and a counter, so a
// plain sort lists messages in the order they were written.

// Writes the message atomically under a new unique name: readers never see a
// half-written .eml (the temporary file does not end in .eml). Returns the
// path, or an empty string with *error set.
QString writeMessageFile(const QString &folder, const QByteArray &message, QString *error = nullptr);

// The .eml files of the folder, full paths, oldest first.
QStringList messageFiles(const QString &folder);

// Moves a message file into another folder, keeping its name unless that is
// taken. Returns the new path, or an empty string with *error set.
QString moveMessageFile(const QString &path, const QString &folder, QString *error = nullptr);

} // namespace wendle
