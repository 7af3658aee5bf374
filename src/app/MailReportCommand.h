#pragma once

#include <QStringList>

class QTextStream;

namespace wendle {

class Preferences;

// `wendle mail-report --width N --maildir DIR`: the helper the mail check
// script calls. With an IMAP account set up ("imapUrl") it reports the unseen
// messages of the URL's folder, read without changing a flag; otherwise the
// messages in DIR. Exit 0 with the report, 1 when the mail cannot be read,
// 2 on bad usage.
int runMailReportCommand(const Preferences &preferences, const QStringList &arguments, QTextStream &out, QTextStream &err);

} // namespace wendle
