#pragma once

#include <QString>
#include <QVariant>
#include <QVariantMap>

namespace wendle {

// The owner's settings: a stored value overrides the registered default;
// removing it brings the default back. A key with neither reads as an invalid
// QVariant, so booleans read false and strings read as absent (null).
class Preferences {
public:
    virtual ~Preferences() = default;

    virtual void registerDefaults(const QVariantMap &defaults) = 0;
    virtual QVariant value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    virtual void remove(const QString &key) = 0;
    // Keys the owner has stored, without the registered defaults.
    virtual QStringList storedKeys() const = 0;
    virtual QVariantMap registeredDefaults() const = 0;

    bool boolValue(const QString &key) const;
    int intValue(const QString &key) const;
    double doubleValue(const QString &key) const;
    // Null when the key holds nothing.
    QString stringValue(const QString &key) const;
};

} // namespace wendle
