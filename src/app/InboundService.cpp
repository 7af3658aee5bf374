#include "app/InboundService.h"

#include "app/Controller.h"

#include <QDBusArgument>
#include <QDBusVariant>

namespace wendle {

InboundService::InboundService(Controller &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
{
}

QString inboundArgument(const QVariantMap &arguments, const QString &key)
{
    const auto it = arguments.find(key);
    if (it == arguments.end())
        return QString();
    QVariant value = *it;
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    if (value.typeId() == QMetaType::QByteArray)
        return QString::fromUtf8(value.toByteArray());
    QString text = value.toString();
    return text.isNull() ? QLatin1String("") : text;
}

void InboundService::InboundMessage(const QVariantMap &arguments)
{
    const QString attachment = inboundArgument(arguments, QStringLiteral("AttachedFile"));
    m_controller.processEmailFrom(inboundArgument(arguments, QStringLiteral("FromAddress")),
                                  inboundArgument(arguments, QStringLiteral("MessageText")),
                                  attachment.isNull() ? QVariant() : QVariant(attachment));
}

void InboundService::InboundChat(const QVariantMap &arguments)
{
    const QString attachment = inboundArgument(arguments, QStringLiteral("AttachedFile"));
    m_controller.processChatFrom(inboundArgument(arguments, QStringLiteral("FromAddress")),
                                 inboundArgument(arguments, QStringLiteral("MessageText")),
                                 attachment.isNull() ? QVariant() : QVariant(attachment));
}

} // namespace wendle
