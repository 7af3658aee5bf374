#pragma once

#include <QDBusAbstractAdaptor>
#include <QVariantMap>

#include <functional>

namespace wendle {

inline constexpr const char *DBusStatusInterface = "org.wendle.Wendle.Status";

// Keys of the status dictionary. A subsystem that has something to report
// adds a provider that fills its own keys.
inline constexpr const char *StatusRunning = "Running";
inline constexpr const char *StatusMailConnection = "MailConnection";
inline constexpr const char *StatusChatConnection = "ChatConnection";
inline constexpr const char *StatusQueueLength = "QueueLength";
inline constexpr const char *StatusPendingConfirmation = "PendingConfirmation";
inline constexpr const char *StatusIndexState = "IndexState";

// What `wendle status` shows, asked of the running instance over D-Bus. An
// adaptor: it adds its interface to the object that takes the inbound
// messages (its parent), so both live at one object path.
class StatusService : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.wendle.Wendle.Status")

public:
    using Provider = std::function<void(QVariantMap &status)>;
    explicit StatusService(QObject *parent);

    void addProvider(Provider provider) { m_providers.push_back(std::move(provider)); }

public Q_SLOTS:
    QVariantMap Status() const;

private:
    std::vector<Provider> m_providers;
};

} // namespace wendle
