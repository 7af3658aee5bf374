#include "resources/Resources.h"

#include "resources/FileStamp.h"
#include "resources/PropertyList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>

#include <sys/stat.h>

namespace wendle {

namespace {

// The templates of a file as last parsed, with what identified the file then.
// A file that has not changed since (same inode, size and time) is not parsed
// again; any edit shows at the next read, as before.
struct ParsedTemplates {
    FileStamp stamp;
    QVariantMap strings;
};

QVariantMap readTemplates(const QString &path)
{
    static QMutex mutex;
    static QHash<QString, ParsedTemplates> parsed;
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return QVariantMap();
    const QMutexLocker lock(&mutex);
    ParsedTemplates &known = parsed[path];
    if (known.stamp != FileStamp::of(status))
        known = {FileStamp::of(status), readPropertyListDictionary(path)};
    return known.strings;
}

} // namespace

Resources::Resources(const QString &folder) : m_folder(folder)
{
    QFile file(QDir(folder).filePath(QStringLiteral("messages.json")));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject table = QJsonDocument::fromJson(file.readAll()).object();
    for (auto it = table.begin(); it != table.end(); ++it)
        m_messages.insert(it.key(), it.value().toString());
}

QString Resources::locateFolder()
{
    const QString binaryFolder = QCoreApplication::applicationDirPath();
    const QStringList candidates = {binaryFolder + QLatin1String("/resources"), binaryFolder + QLatin1String("/../share/wendle"),
                                    // the full program, installed under libexec/wendle
                                    binaryFolder + QLatin1String("/../../share/wendle")};
    for (const QString &candidate : candidates) {
        if (QFile::exists(candidate + QLatin1String("/messages.json")))
            return QDir::cleanPath(candidate);
    }
    return QDir::cleanPath(candidates.first());
}

QString Resources::message(const QString &key) const
{
    return m_messages.value(key, key);
}

QString Resources::wendleString(const QString &key) const
{
    const QVariantMap strings = readTemplates(QDir(m_folder).filePath(QStringLiteral("WendleStrings.plist")));
    const QVariant value = strings.value(key);
    return value.isValid() ? value.toString() : QString();
}

QString stringWithFormat(const QString &format, const QVariantList &arguments)
{
    QString result;
    result.reserve(format.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            result += c;
            continue;
        }
        const QChar conversion = format[i + 1];
        if (conversion == u'%') {
            result += u'%';
        } else if (conversion == u'@') {
            if (next < arguments.size())
                result += arguments[next].toString();
            ++next;
        } else if (conversion == u'd') {
            if (next < arguments.size())
                result += QString::number(arguments[next].toLongLong());
            ++next;
        } else {
            result += c;
            continue;
        }
        ++i;
    }
    return result;
}

} // namespace wendle
