// Feeds arbitrary bytes through the command language and checks what every
// command must satisfy whatever its text: the parse ends, at most one
// operation runs, and an error is reported exactly once, after it.

#include "intake/CommandLanguage.h"
#include "support/RecordingCommandActions.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

FILE *discardedEcho()
{
    static FILE *stream = std::fopen("/dev/null", "w");
    return stream;
}

void require(bool condition, const char *what, const QStringList &calls)
{
    if (condition)
        return;
    std::fprintf(stderr, "command language invariant broken: %s\n%s\n", what, qPrintable(calls.join(QLatin1Char('\n'))));
    std::abort();
}

bool isOperation(const QString &call)
{
    return !call.startsWith(QLatin1String("writeConsoleLine(")) && call != QLatin1String("reportSyntaxError()");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    wendle::test::RecordingCommandActions actions;
    const int result = wendle::runCommandLanguage(text, actions, discardedEcho());

    const QStringList &calls = actions.calls;
    const auto operations = std::count_if(calls.begin(), calls.end(), isOperation);
    require(result == wendle::CommandAccepted || result == wendle::CommandSyntaxError, "unexpected parser result", calls);
    require(operations <= 1, "more than one operation ran", calls);
    if (result == wendle::CommandAccepted) {
        require(operations == 1 && calls.size() == 1, "accepted without exactly one operation", calls);
        return 0;
    }
    const QStringList errorTail = {QStringLiteral(R"(writeConsoleLine("Wendle Command Received with Error: syntax error"))"),
                                   QStringLiteral("reportSyntaxError()")};
    require(calls.size() == operations + 2 && calls.mid(operations) == errorTail, "error not reported exactly once, last", calls);
    return 0;
}
