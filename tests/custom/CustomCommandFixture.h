#pragma once

#include "custom/ShortcutLibrary.h"
#include "operations/OwnerFixture.h"
#include "support/QtApplication.h"
#include "support/WaitFor.h"

#include <memory>

namespace wendle::test {

// The owner's Controller with a folder for scripts; confirmation numbers come out as 47.
class CustomCommandFixture : public OwnerFixture {
protected:
    CustomCommandFixture()
    {
        ensureQtApplication(); // a script answers through the event loop
        random.values = {347}; // 347 % 100 = 47
        QDir().mkpath(scriptsDir());
        mail.sent.clear();
        console.lines.clear();
    }

    QString scriptsDir() const { return supportDir.filePath(QStringLiteral("scripts")); }

    // Writes a file into the scripts folder, executable unless told not.
    QString writeScript(const QString &name, const QByteArray &content, bool executable = true) const
    {
        const QString path = writeFile(scriptsDir() + u'/' + name, content);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | (executable ? QFile::ExeOwner : QFile::Permission(0)));
        return path;
    }

    // A shell script that notes each run beside itself and prints `output`.
    QString writeCountingScript(const QString &name, const QByteArray &output) const
    {
        return writeScript(name, "#!/bin/sh\necho ran >> \"$0.runs\"\nprintf '%s\\n' '" + output + "'\n");
    }

    // How many times a script from writeCountingScript has run.
    static int runsOf(const QString &path) { return int(readFile(path + QLatin1String(".runs")).count('\n')); }

    void setLibrary(const QList<Shortcut> &entries) { controller->setLibraryArray(entries); }
    void setConfirmation(bool on) { preferences.setValue(QString::fromLatin1(RBConfirmCustomCommands), on); }

    // Sends the custom command afresh; answers the replies it brought.
    QStringList command(const QString &name)
    {
        mail.sent.clear();
        console.lines.clear();
        controller->customCommand(name);
        finish();
        return replies();
    }

    // A script answers from the event loop, after the call that started it.
    void finish()
    {
        const auto finished = std::make_shared<bool>(false);
        controller->whenCommandFinished([finished] { *finished = true; });
        EXPECT_TRUE(waitFor([finished] { return *finished; })) << "the command did not finish";
    }

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
