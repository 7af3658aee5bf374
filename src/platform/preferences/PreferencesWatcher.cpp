#include "platform/preferences/PreferencesWatcher.h"

#include <QDir>
#include <QFileInfo>

namespace wendle {

PreferencesWatcher::PreferencesWatcher(const QString &fileName, std::function<void()> changed, QObject *parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_changed(std::move(changed))
{
    const QString folder = QFileInfo(fileName).absolutePath();
    QDir().mkpath(folder);
    m_watcher.addPath(folder);
    rewatch();
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        rewatch();
        m_changed();
    });
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] {
        rewatch();
        m_changed();
    });
}

void PreferencesWatcher::rewatch()
{
    if (!m_watcher.files().contains(m_fileName) && QFileInfo::exists(m_fileName))
        m_watcher.addPath(m_fileName);
}

} // namespace wendle
