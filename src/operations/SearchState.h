#pragma once

#include "operations/ListedFile.h"

#include <QList>
#include <QString>

namespace wendle {

// One line of a result list.
struct QueryResult {
    QString path;
    QString label;
    QString conf;
    FileIdentity listed; // the file the line named when the list was made
};

// The one command that waits for a confirmation code, and the search behind it.
struct SearchState {
    QList<QueryResult> queryResults;
    qint32 lastConfirmationNumber = 0;
    QString lastCCAddress;
    QString lastQuery;
    QString lastCommand;
    quint64 query = 0; // the running search; 0 when none
    quint64 lastQueryId = 0;
    QString askedBy; // Message-ID of the command that started the running search
};

} // namespace wendle
