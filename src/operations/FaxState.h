#pragma once

#include <QString>
#include <QStringList>

namespace wendle {

struct FaxState {
    QString lastFaxNumber;
    QStringList modemTitles; // the settings window's queue menu, read at start
};

} // namespace wendle
