#pragma once

#include <QString>
#include <QStringList>

// The pieces of faxing that need no Controller: reading the print system's
// queue list and the queue choice of the settings window.
namespace wendle {

inline constexpr const char *LpstatPath = "/usr/bin/lpstat";
inline constexpr const char *LpPath = "/usr/bin/lp";
inline constexpr const char *NoFaxModemTitle = "No Fax Modem Found";

// The display names of the fax queues in what `lpstat -p -d` printed: every
// word that mentions "modem" (any case), underscores shown as spaces. A queue
// named in its status line and again as the default destination is listed
// twice, and trailing punctuation stays on the word; the settings window shows
// exactly this. No such word gives the single title "No Fax Modem Found".
QStringList modemQueueTitles(const QString &lpstatOutput);

// The queue name stored for a title picked in the settings window.
QString faxModemForTitle(const QString &title);

// The arguments of `lp` that hand path to the fax queue for number.
QStringList faxSubmissionArguments(const QString &queue, const QString &number, const QString &path);

// The file's name without folder and without its last extension; a leading
// dot does not start an extension (".profile" stays whole).
QString nameWithoutExtension(const QString &path);

} // namespace wendle
