#include "app/InboundLimits.h"

#include "intake/SignedCommands.h"
#include "platform/mail/InboundMessage.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QStringList>

namespace wendle {

namespace {

struct Bound {
    const char *key;
    qsizetype bytes;
    const char *what;
};

const Bound Bounds[] = {
    {"MessageText", MaxInboundTextBytes, "the message text"},
    {"FromAddress", MaxInboundNameBytes, "the sender address"},
    {"MessageID", MaxInboundNameBytes, "the Message-ID"},
    {"AttachedFile", MaxInboundNameBytes, "the attachment path"},
    {"AuthenticationResults", MaxInboundResultsBytes, "the Authentication-Results"},
    {"DateHeader", MaxInboundNameBytes, "the Date header"},
};

// Counted without making the UTF-8 copy, which is what a bound must spare.
qsizetype utf8Bytes(QStringView text)
{
    qsizetype bytes = 0;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        // A surrogate pair is four bytes: two for each half.
        bytes += unit < 0x80 ? 1 : (unit < 0x800 || QChar::isSurrogate(unit)) ? 2 : 3;
    }
    return bytes;
}

// Types Qt does not turn into a QVariant of its own (arrays of structures,
// dictionaries of other than strings to variants) stay as the raw argument.
qsizetype argumentBytes(const QDBusArgument &argument)
{
    qsizetype bytes = 0;
    switch (argument.currentType()) {
    case QDBusArgument::BasicType:
    case QDBusArgument::VariantType: return inboundValueBytes(argument.asVariant());
    case QDBusArgument::ArrayType:
        // Bytes in one piece: one element at a time would take seconds.
        if (argument.currentSignature() == QLatin1String("ay")) {
            QByteArray data;
            argument >> data;
            return data.size();
        }
        argument.beginArray();
        while (!argument.atEnd())
            bytes += argumentBytes(argument);
        argument.endArray();
        return bytes;
    case QDBusArgument::StructureType:
        argument.beginStructure();
        while (!argument.atEnd())
            bytes += argumentBytes(argument);
        argument.endStructure();
        return bytes;
    case QDBusArgument::MapType:
        argument.beginMap();
        while (!argument.atEnd()) {
            argument.beginMapEntry();
            bytes += argumentBytes(argument);
            bytes += argumentBytes(argument);
            argument.endMapEntry();
        }
        argument.endMap();
        return bytes;
    case QDBusArgument::MapEntryType:
    case QDBusArgument::UnknownType: break;
    }
    return bytes;
}

QString sizeInWords(qsizetype bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1 MiB").arg(bytes >> 20) : QStringLiteral("%1 KiB").arg(bytes >> 10);
}

} // namespace

qsizetype inboundValueBytes(const QVariant &value)
{
    const int type = value.typeId();
    if (type == QMetaType::QString)
        return utf8Bytes(value.toString());
    if (type == QMetaType::QByteArray)
        return value.toByteArray().size();
    if (type == QMetaType::QStringList) {
        qsizetype bytes = 0;
        for (const QString &text : value.toStringList())
            bytes += utf8Bytes(text);
        return bytes;
    }
    if (type == QMetaType::QVariantList) {
        qsizetype bytes = 0;
        for (const QVariant &element : value.toList())
            bytes += inboundValueBytes(element);
        return bytes;
    }
    if (type == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        qsizetype bytes = 0;
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            bytes += utf8Bytes(it.key()) + inboundValueBytes(it.value());
        return bytes;
    }
    if (type == qMetaTypeId<QDBusVariant>())
        return inboundValueBytes(value.value<QDBusVariant>().variant());
    if (type == qMetaTypeId<QDBusArgument>())
        return argumentBytes(value.value<QDBusArgument>());
    return 8;
}

QString inboundArgumentsProblem(const QVariantMap &arguments)
{
    qsizetype total = 0;
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it)
        total += utf8Bytes(it.key()) + inboundValueBytes(it.value());
    if (total > MaxInboundMessageBytes)
        return QStringLiteral("the message is larger than %1").arg(sizeInWords(MaxInboundMessageBytes));
    for (const Bound &bound : Bounds) {
        const auto it = arguments.constFind(QLatin1String(bound.key));
        if (it != arguments.cend() && inboundValueBytes(*it) > bound.bytes)
            return QStringLiteral("%1 is longer than %2").arg(QLatin1String(bound.what), sizeInWords(bound.bytes));
    }
    for (const auto &[key, bytes] : signatureKeyBounds(MaxInboundTextBytes, MaxInboundNameBytes)) {
        const auto it = arguments.constFind(key);
        if (it != arguments.cend() && inboundValueBytes(*it) > bytes)
            return QStringLiteral("%1 is longer than %2").arg(key, sizeInWords(bytes));
    }
    return {};
}

} // namespace wendle
