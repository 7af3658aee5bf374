#include "app/InboundQueue.h"

#include "platform/trace/RoadTrace.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>

namespace wendle {

namespace {

void putString(QVariantMap &map, const char *key, const QString &value)
{
    if (!value.isNull())
        map.insert(QLatin1String(key), value);
}

QString takeString(const QVariantMap &map, const char *key)
{
    const auto it = map.find(QLatin1String(key));
    if (it == map.end())
        return QString();
    const QString value = it->toString();
    return value.isNull() ? QLatin1String("") : value;
}

} // namespace

QVariantMap inboundItemToMap(const InboundItem &item)
{
    QVariantMap map{{QStringLiteral("chat"), item.chat}};
    putString(map, "from", item.from);
    putString(map, "text", item.text);
    putString(map, "attachment", item.attachment);
    putString(map, "messageId", item.messageId);
    if (!item.authenticationResults.isEmpty())
        map.insert(QStringLiteral("authenticationResults"), item.authenticationResults);
    putString(map, "senderHeader", item.senderHeader);
    putString(map, "dateHeader", item.dateHeader);
    putSignature(map, item.signature);
    return map;
}

InboundItem inboundItemFromMap(const QVariantMap &map)
{
    InboundItem item;
    item.chat = map.value(QStringLiteral("chat")).toBool();
    item.from = takeString(map, "from");
    item.text = takeString(map, "text");
    item.attachment = takeString(map, "attachment");
    item.messageId = takeString(map, "messageId");
    item.authenticationResults = map.value(QStringLiteral("authenticationResults")).toStringList();
    if (map.contains(QStringLiteral("senderHeader")))
        item.senderHeader = takeString(map, "senderHeader");
    if (map.contains(QStringLiteral("dateHeader")))
        item.dateHeader = takeString(map, "dateHeader");
    item.signature = takeSignature([&map](const QString &key) { return takeString(map, key.toLatin1().constData()); });
    return item;
}

InboundQueue::InboundQueue(const QString &supportFolder, Handler handler)
    : m_spoolFolder(supportFolder + QLatin1String("/inbox"))
    , m_handler(std::move(handler))
    , m_messageIds(supportFolder + QLatin1String("/message-ids"))
    , m_context(std::make_unique<QObject>())
{}

InboundQueue::~InboundQueue() = default;

InboundQueue::Outcome InboundQueue::take(const InboundItem &item, QString *why)
{
    if (const QString why = ranBefore(item, QDateTime::currentDateTimeUtc()); !why.isNull()) {
        if (m_refused)
            m_refused(item, why);
        return Outcome::RunBefore;
    }
    QString problem;
    const QString spoolFile = spool(item, &problem);
    if (spoolFile.isEmpty()) {
        if (why)
            *why = problem;
        return Outcome::CannotSpool;
    }
    m_items.push_back({item, spoolFile});
    scheduleNext();
    return Outcome::Taken;
}

// Written whole under a temporary name first, so a crash never leaves half
// a message for the next start.
QString InboundQueue::spool(const InboundItem &item, QString *why)
{
    if (!QDir().mkpath(m_spoolFolder)) {
        *why = QStringLiteral("cannot create the folder %1").arg(m_spoolFolder);
        return {};
    }
    const QString name = QStringLiteral("%1-%2.json")
                             .arg(QDateTime::currentMSecsSinceEpoch(), 13, 10, QLatin1Char('0'))
                             .arg(++m_counter, 8, 10, QLatin1Char('0'));
    const QString path = m_spoolFolder + u'/' + name;
    QSaveFile file(path);
    // Flushed and checked before the commit: QSaveFile commits a file whose
    // buffered bytes a full disk refused.
    const QByteArray bytes = QJsonDocument(QJsonObject::fromVariantMap(inboundItemToMap(item))).toJson(QJsonDocument::Compact);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit())
        return path;
    *why = QStringLiteral("cannot write in %1: %2").arg(m_spoolFolder, file.errorString());
    return {};
}

void InboundQueue::resume()
{
    const QDir folder(m_spoolFolder);
    for (const QString &name : folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        const QString path = folder.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        if (!document.isObject()) {
            QFile::remove(path); // not one of ours, or cut short
            continue;
        }
        m_items.push_back({inboundItemFromMap(document.object().toVariantMap()), path});
    }
    scheduleNext();
}

void InboundQueue::scheduleNext()
{
    if (m_scheduled || m_items.empty())
        return;
    m_scheduled = true;
    QTimer::singleShot(0, m_context.get(), [this] {
        m_scheduled = false;
        handOverNext();
    });
}

void InboundQueue::handOverNext()
{
    // A command that waits in a nested event loop must not let the next one
    // start in the middle of it.
    if (m_handingOver || m_items.empty())
        return;
    const Entry entry = m_items.front();
    m_items.pop_front();
    // Removed before it runs: a command that crashes Wendle must not run
    // again at every start.
    QFile::remove(entry.spoolFile);
    // A second copy taken while the first still waited.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (const QString why = ranBefore(entry.item, now); !why.isNull()) {
        if (m_refused)
            m_refused(entry.item, why);
        scheduleNext();
        return;
    }
    m_handingOver = true;
    traceStep("daemon: handed to the intake");
    const quint64 turn = ++m_turn;
    if (!m_handler) {
        handedOver(turn);
        return;
    }
    const bool taken = m_handler(entry.item, [this, turn, alive = QPointer<QObject>(m_context.get())] {
        if (alive)
            handedOver(turn);
    });
    if (taken) {
        m_messageIds.remember(entry.item.messageId, now);
        m_messageIds.remember(entry.item.signature.memoryId(), now);
    }
}

QString InboundQueue::ranBefore(const InboundItem &item, const QDateTime &now) const
{
    if (m_messageIds.knows(item.messageId, now))
        return QStringLiteral("a message with its Message-ID <%1> ran before").arg(item.messageId.left(200));
    // A captured signed command sent again under a new Message-ID.
    if (m_messageIds.knows(item.signature.memoryId(), now))
        return QStringLiteral("its signed command ran before");
    return {};
}

void InboundQueue::handedOver(quint64 turn)
{
    if (!m_handingOver || turn != m_turn)
        return;
    m_handingOver = false;
    scheduleNext();
}

} // namespace wendle
