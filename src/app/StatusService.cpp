#include "app/StatusService.h"

#include <QCoreApplication>

namespace wendle {

StatusService::StatusService(QObject *parent) : QDBusAbstractAdaptor(parent)
{}

QVariantMap StatusService::Status() const
{
    QVariantMap status{{QLatin1String(StatusRunning), true}, {QStringLiteral("ProcessId"), QCoreApplication::applicationPid()}};
    for (const Provider &provider : m_providers)
        provider(status);
    return status;
}

} // namespace wendle
