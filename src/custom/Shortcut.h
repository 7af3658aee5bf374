#pragma once

#include <QString>

namespace wendle {

// One entry of the shortcut library: a command name bound to the file it
// runs or opens. Either field may be missing (null) when the stored library
// lacked it; such an entry never runs and is not stored again.
class Shortcut {
public:
    // A new entry holds placeholders until the window fills it in.
    Shortcut() = default;
    Shortcut(const QString &path, const QString &shortcut) : m_path(path), m_shortcut(shortcut) {}

    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }
    QString shortcut() const { return m_shortcut; }
    void setShortcut(const QString &shortcut) { m_shortcut = shortcut; }

    friend bool operator==(const Shortcut &, const Shortcut &) = default;

private:
    QString m_path = QStringLiteral("path");
    QString m_shortcut = QStringLiteral("shortcut");
};

} // namespace wendle
