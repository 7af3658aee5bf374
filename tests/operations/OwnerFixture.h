#pragma once

#include "settings/Settings.h"
#include "support/ControllerFixture.h"

#include <QDir>

namespace wendle::test {

// A Controller that has taken a command from the owner, so replies have
// somewhere to go.
class OwnerFixture : public ControllerFixture {
protected:
    OwnerFixture() { takeCommandFromOwner(*controller); }

    static void takeCommandFromOwner(Controller &target)
    {
        target.setCommandTextHandler([](const QByteArray &) {});
        target.processEmailFrom(QStringLiteral("owner@example.org"), QStringLiteral("wndl"), QVariant());
    }

    // Writes a file, making its folders; answers its path.
    static QString writeFile(const QString &path, const QByteArray &content)
    {
        EXPECT_TRUE(test::writeFile(path, content)) << path.toStdString();
        return path;
    }

    QString lastBody() const { return mail.sent.isEmpty() ? QString() : mail.sent.last().mail.body; }
};

} // namespace wendle::test
