#pragma once

#include <QDate>
#include <QString>

namespace wendle {

// The date a schedule command names. Parts may name no real day together
// (31 february): each is checked against its own range only.
struct ScheduleDate {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const ScheduleDate &) const = default;
};

// Reads the command's parts as integers (leading digits, as "12th" gives 12)
// and the month also as an English month name or its abbreviation ("may",
// "sep", "sept"). A part that is missing or outside year 1905 to 2200, month
// 1 to 12, day 1 to 31 takes today's value.
ScheduleDate resolveScheduleDate(const QString &day, const QString &month, const QString &year, const QDate &today);

} // namespace wendle
