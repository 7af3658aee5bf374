#include "intake/MessageIdMemory.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace wendle;
using wendle::test::readFile;

TEST(MessageIdMemory, RemembersAcrossInstancesForAFortnight)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("wendle/message-ids"));
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);
    struct Step {
        const char *id;
        qint64 days;
        bool isNew;
        bool reopen;
    };
    const Step steps[] = {
        {"a@x", 0, true, false},    {"a@x", 0, false, false},  {"a@x", 13, false, true}, {"", 0, true, false},     {"", 0, true, false},
        {"b@x\nc", 1, true, false}, {"b@x c", 2, false, true}, {"a@x", 15, true, true},  {"a@x", 15, false, true},
    };
    std::unique_ptr<MessageIdMemory> memory = std::make_unique<MessageIdMemory>(path);
    for (const Step &step : steps) {
        if (step.reopen)
            memory = std::make_unique<MessageIdMemory>(path);
        EXPECT_EQ(memory->remember(QString::fromUtf8(step.id), start.addDays(step.days)), step.isNew) << step.id << " day " << step.days;
    }
}

TEST(MessageIdMemory, TheFileStaysBounded)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("message-ids"));
    const QDateTime start = QDateTime::fromSecsSinceEpoch(1800000000, Qt::UTC);
    MessageIdMemory memory(path);
    // A month of a hundred messages a day: only the last fortnight is kept.
    for (int day = 0; day < 30; ++day) {
        for (int i = 0; i < 100; ++i)
            memory.remember(QStringLiteral("%1.%2@x").arg(day).arg(i), start.addDays(day));
    }
    EXPECT_LE(readFile(path).count('\n'), 2 * 15 * 100);
    EXPECT_FALSE(MessageIdMemory(path).remember(QStringLiteral("29.5@x"), start.addDays(29)));
}
