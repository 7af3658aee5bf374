#include "platform/log/RemoteLogCap.h"

namespace wendle {

namespace {

constexpr qint64 HourInSeconds = 3600;

} // namespace

RemoteLogCap::RemoteLogCap(Writer writer, QString place) : m_writer(std::move(writer)), m_place(std::move(place))
{}

void RemoteLogCap::write(const QString &kind, const QString &line, const QDateTime &now)
{
    Tally &tally = m_tallies[kind];
    if (!tally.since.isValid() || tally.since.secsTo(now) >= HourInSeconds) {
        writeCount(kind, tally, now);
        tally = {now, 0, 0};
    }
    if (tally.written >= LinesPerHour) {
        ++tally.leftOut;
        return;
    }
    ++tally.written;
    m_writer(tally.written < LinesPerHour ? line : line + QStringLiteral(" (more %1 within the hour are counted, not written)").arg(kind));
}

void RemoteLogCap::flush(const QDateTime &now)
{
    for (auto it = m_tallies.begin(); it != m_tallies.end(); ++it)
        writeCount(it.key(), it.value(), now);
}

void RemoteLogCap::writeCount(const QString &kind, Tally &tally, const QDateTime &now)
{
    if (tally.leftOut == 0)
        return;
    m_writer(QStringLiteral("Wendle Log Update:  %1 more %2 were left out of %3 between %4 and %5")
                 .arg(tally.leftOut)
                 .arg(kind, m_place, tally.since.toString(QStringLiteral("yyyy-MM-dd (HH:mm:ss)")),
                      now.toString(QStringLiteral("yyyy-MM-dd (HH:mm:ss)"))));
    tally.leftOut = 0;
}

} // namespace wendle
