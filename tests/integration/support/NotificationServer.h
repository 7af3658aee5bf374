#pragma once

#include "support/WendleInstance.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace wendle::test {

// A real desktop notification service on a test session's bus: dunst,
// drawing on a display of its own (Xvfb), with a rule that records each
// notice it shows as it received it.
class NotificationServer {
public:
    struct Notice {
        QString application, summary, body;
        bool operator==(const Notice &) const = default;
    };

    static bool installed();
    ~NotificationServer();
    ::testing::AssertionResult start(const TestSession &session);

    // Every notice shown so far, oldest first.
    QList<Notice> notices() const;
    // What a click on the newest notice's button does: dunst invokes its one
    // action. The exit code of dunstctl.
    int pressButton() const { return control({"action", "0"}); }
    // Takes every notice off the screen, as the owner dismissing them.
    int closeAll() const { return control({"close-all"}); }

private:
    int control(const QStringList &arguments) const { return runProcess(QStringLiteral("dunstctl"), arguments, m_environment); }

    QTemporaryDir m_dir;
    QProcess m_display;
    QProcess m_dunst;
    QProcessEnvironment m_environment;
};

inline std::ostream &operator<<(std::ostream &out, const NotificationServer::Notice &notice)
{
    return out << notice.application.toStdString() << " | " << notice.summary.toStdString() << " | " << notice.body.toStdString();
}

} // namespace wendle::test
