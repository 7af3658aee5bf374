#pragma once

#include <QHash>
#include <QString>
#include <QVariantList>

namespace wendle {

// The data files Wendle loads: the message table (messages.json) and the
// script templates (WendleStrings.plist), both in one resource folder.
class Resources {
public:
    explicit Resources(const QString &folder);

    // The folder beside the running binary: resources/ in the build tree,
    // ../share/wendle when installed.
    static QString locateFolder();

    QString folder() const { return m_folder; }
    // The text for key; a key the table lacks yields the key itself.
    QString message(const QString &key) const;
    // A template from WendleStrings.plist, read afresh at each call; null
    // when the file or the key is missing.
    QString wendleString(const QString &key) const;

private:
    QString m_folder;
    QHash<QString, QString> m_messages;
};

// Fills a format the way the message table's texts expect: each %@ takes the
// next argument as text, each %d the next as an integer, %% is a percent sign.
// Missing arguments leave the conversion empty; surplus ones are ignored.
QString stringWithFormat(const QString &format, const QVariantList &arguments);

} // namespace wendle
