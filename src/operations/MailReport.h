#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace wendle {

// The text of the mail check: how many messages are new, then for each the
// sender's name (or address) after "- " and the subject on the next line,
// encoded words decoded, no line wider than width characters. Each entry of
// headers is one message's header block (more of the message may follow);
// total, when larger, is the count of new messages of which these are some.
QString mailReport(const QList<QByteArray> &headers, int width, qsizetype total = 0);

} // namespace wendle
