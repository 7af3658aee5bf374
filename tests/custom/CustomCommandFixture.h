#pragma once

#include "app/Settings.h"
#include "custom/ShortcutLibrary.h"
#include "support/ControllerFixture.h"

#include <QDir>
#include <QFile>

namespace wendle::test {

// A Controller that has taken a command from the owner (so replies have
// somewhere to go), with a folder for the owner's scripts.
class CustomCommandFixture : public ControllerFixture {
protected:
    CustomCommandFixture()
    {
        controller->setCommandTextHandler([](const QByteArray &) {});
        controller->processEmailFrom(QStringLiteral("owner@example.com"), QStringLiteral("wndl"), QVariant());
        random.values = {347}; // 347 % 100 = 47
        QDir().mkpath(scriptsDir());
        mail.sent.clear();
        console.lines.clear();
    }

    QString scriptsDir() const { return supportDir.filePath(QStringLiteral("scripts")); }

    // Writes a file into the scripts folder, executable unless told not.
    QString writeFile(const QString &name, const QByteArray &content, bool executable = true) const
    {
        const QString path = scriptsDir() + u'/' + name;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            ADD_FAILURE() << "cannot write " << path.toStdString();
        file.write(content);
        file.close();
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            permissions |= QFile::ExeOwner;
        file.setPermissions(permissions);
        return path;
    }

    // A shell script that notes each run beside itself and prints `output`.
    QString writeCountingScript(const QString &name, const QByteArray &output) const
    {
        return writeFile(name, "#!/bin/sh\necho ran >> \"$0.runs\"\nprintf '%s\\n' '" + output + "'\n");
    }

    // How many times a script from writeCountingScript has run.
    static int runsOf(const QString &path)
    {
        QFile file(path + QLatin1String(".runs"));
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return int(file.readAll().count('\n'));
    }

    void setLibrary(const QList<Shortcut> &entries) { controller->setLibraryArray(entries); }
    void setConfirmation(bool on) { preferences.setValue(QString::fromLatin1(RBConfirmCustomCommands), on); }

    // The texts of the replies sent so far, without the mail's closing lines.
    QStringList replies() const
    {
        QStringList texts;
        for (const SentMail &sent : mail.sent)
            texts << sent.mail.body.chopped(2);
        return texts;
    }
};

} // namespace wendle::test
