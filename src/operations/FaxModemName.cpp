#include "operations/Faxing.h"

#include "intake/TextHelpers.h"

namespace wendle {

// Apart from the rest of faxing, which runs the print tools: `wendle config`
// stores the name too, and needs nothing else of it.
QString faxModemForTitle(const QString &title)
{
    if (title.isEmpty())
        return QStringLiteral("Internal_Modem");
    return text::addUnderscores(title);
}

} // namespace wendle
