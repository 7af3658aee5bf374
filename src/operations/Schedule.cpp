#include "operations/Schedule.h"

#include "app/Controller.h"
#include "intake/TextHelpers.h"
#include "platform/clock/Clock.h"

namespace wendle {

namespace {

constexpr const char *MonthNames[] = {"january", "february", "march",     "april",   "may",      "june",
                                      "july",    "august",   "september", "october", "november", "december"};

// 1 to 12 for a month name or an abbreviation of at least three letters.
int monthFromName(const QString &word)
{
    if (word.size() < 3)
        return 0;
    for (int m = 0; m < 12; ++m) {
        if (QLatin1String(MonthNames[m]).startsWith(word, Qt::CaseInsensitive))
            return m + 1;
    }
    return 0;
}

int withinOr(int value, int lowest, int highest, int fallback)
{
    return value >= lowest && value <= highest ? value : fallback;
}

} // namespace

ScheduleDate resolveScheduleDate(const QString &day, const QString &month, const QString &year, const QDate &today)
{
    const int named = monthFromName(month.trimmed());
    ScheduleDate date;
    date.year = withinOr(text::leadingInteger(year), 1905, 2200, today.year());
    date.month = withinOr(named ? named : text::leadingInteger(month), 1, 12, today.month());
    date.day = withinOr(text::leadingInteger(day), 1, 31, today.day());
    return date;
}

// There is no calendar to read yet: the command is understood, its date
// resolved, and nothing is answered, logged or kept.
void Controller::getScheduleForDay(const QString &day, const QString &month, const QString &year)
{
    [[maybe_unused]] const ScheduleDate date = resolveScheduleDate(day, month, year, m_platform.clock.now().date());
}

} // namespace wendle
