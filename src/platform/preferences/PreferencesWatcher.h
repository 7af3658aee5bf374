#pragma once

#include <QFileSystemWatcher>
#include <QObject>

#include <functional>

namespace wendle {

// Calls back when the settings file changes on disk, for instance after
// `wendle config set` in another process. The file is replaced whole on
// every write, so its folder is watched as well and the file watched anew.
// A callback may come for a write that changed nothing the listener cares
// about; the listener compares values itself.
class PreferencesWatcher : public QObject {
    Q_OBJECT

public:
    PreferencesWatcher(const QString &fileName, std::function<void()> changed, QObject *parent = nullptr);

private:
    void rewatch();

    QString m_fileName;
    std::function<void()> m_changed;
    QFileSystemWatcher m_watcher;
};

} // namespace wendle
