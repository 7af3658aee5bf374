#include "operations/Faxing.h"

#include "app/Controller.h"
#include "intake/TextHelpers.h"
#include "platform/console/Console.h"
#include "platform/preferences/Preferences.h"
#include "platform/process/ProcessLauncher.h"
#include "resources/Resources.h"
#include "settings/Settings.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace wendle {

namespace {

// Fewer characters than this cannot be a number a fax can dial.
constexpr qsizetype ShortestFaxNumber = 7;

} // namespace

QStringList modemQueueTitles(const QString &lpstatOutput)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    QStringList titles;
    const QStringList words = lpstatOutput.split(whiteSpace, Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (word.contains(QLatin1String("modem"), Qt::CaseInsensitive))
            titles << text::replaceUnderscores(word);
    }
    if (titles.isEmpty())
        titles << QLatin1String(NoFaxModemTitle);
    return titles;
}

QStringList faxSubmissionArguments(const QString &queue, const QString &number, const QString &path)
{
    return {QStringLiteral("-d"), queue, QStringLiteral("-o"), stringWithFormat(QStringLiteral("phone=%@"), {number}), path};
}

QString nameWithoutExtension(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot > 0 ? name.left(dot) : name;
}

void Controller::findFileForFaxing(const QString &term, const QString &number)
{
    if (term.isNull() || number.isNull()) {
        reportSyntaxError();
        return;
    }
    // The copy address stays the one of the last find: the list and the fax
    // answer go where that command asked.
    setLastCommand(QStringLiteral("findFileForFaxing"));
    m_search.lastQuery = term;
    setLastFaxNumber(number);
    launchQueryforFilename(term);
}

void Controller::findContentsForFaxing(const QString &term, const QString &number)
{
    if (term.isNull() || number.isNull()) {
        reportSyntaxError();
        return;
    }
    setLastCommand(QStringLiteral("findContentsForFaxing"));
    m_search.lastQuery = term;
    setLastFaxNumber(number);
    launchQueryforContent(term);
}

void Controller::faxDocument(const QString &path, const QString &number)
{
    const QString queue = m_platform.preferences.stringValue(RBDefaultFaxModem);
    const QString name = path.isNull() ? QString() : nameWithoutExtension(path);
    const bool faxable = !path.isNull() && QFileInfo::exists(path) && !number.isNull() && number.size() >= ShortestFaxNumber;

    // lp is not awaited: it answers once the print system took the job or
    // refused it (a queue that does not exist), and the answer to the owner
    // goes at once. A refusal is told on the console and in the log, with
    // what lp said. Whether the modem then dials is the print system's
    // business, beyond lp.
    const auto lpFinished = [this, path, number, queue](const ProcessOutput &output) {
        if (output.exitCode == 0)
            return;
        const QString said = output.standardOutput.trimmed().replace(u'\n', QLatin1String("; "));
        const QString line =
            QStringLiteral("Wendle Error: lp did not queue the fax of %1 to %2 on %3 (%4)%5")
                .arg(path, number, queue,
                     output.exitCode < 0 ? QStringLiteral("killed") : QStringLiteral("exit status %1").arg(output.exitCode),
                     said.isEmpty() ? QString() : QLatin1String(": ") + said);
        m_platform.console.writeLine(line);
        log(line);
    };
    const bool handedOver =
        faxable && m_platform.processes.start(QLatin1String(LpPath), faxSubmissionArguments(queue, number, path), lpFinished);
    const QString answer = localized(handedOver ? QStringLiteral("file_faxed") : QStringLiteral("file_not_faxed"), {name, number});
    sendMessageWithContents(answer, m_search.lastCCAddress, QString());
    log(answer);
}

QStringList Controller::getModemArray()
{
    // Blocks until lpstat has written everything; it answers at once when
    // the print system runs, and the time limit covers a print system that hangs.
    // A tool that cannot start leaves the output empty: no modem found.
    const ProcessOutput output = m_platform.processes.run(QLatin1String(LpstatPath), {QStringLiteral("-p"), QStringLiteral("-d")});
    return modemQueueTitles(output.standardOutput);
}

void Controller::faxModemChanged(const QString &selectedTitle)
{
    m_platform.preferences.setValue(RBDefaultFaxModem, faxModemForTitle(selectedTitle));
}

} // namespace wendle
