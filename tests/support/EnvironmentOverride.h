#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace wendle::test {

// Sets an environment variable for the life of the object, for the child
// processes a test starts through the real adapters; the old value (or its
// absence) comes back afterwards so later tests in the process see none of it.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char *name, const QString &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value.toLocal8Bit());
    }
    ~EnvironmentOverride()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentOverride(const EnvironmentOverride &) = delete;
    EnvironmentOverride &operator=(const EnvironmentOverride &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace wendle::test
