#include "resources/PropertyList.h"

#include <QFile>
#include <QXmlStreamReader>

namespace wendle {

namespace {

QVariant readValue(QXmlStreamReader &xml);

QVariantMap readDictionary(QXmlStreamReader &xml)
{
    QVariantMap map;
    QString key;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("key")) {
            key = xml.readElementText();
            continue;
        }
        map.insert(key, readValue(xml));
    }
    return map;
}

QVariantList readArray(QXmlStreamReader &xml)
{
    QVariantList list;
    while (xml.readNextStartElement())
        list.append(readValue(xml));
    return list;
}

// Called with the reader on a value's start element; leaves it on the end element.
QVariant readValue(QXmlStreamReader &xml)
{
    const QStringView name = xml.name();
    if (name == QLatin1String("dict"))
        return readDictionary(xml);
    if (name == QLatin1String("array"))
        return readArray(xml);
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        const bool value = name == QLatin1String("true");
        xml.skipCurrentElement();
        return value;
    }
    const QString text = xml.readElementText();
    if (name == QLatin1String("integer"))
        return text.toLongLong();
    if (name == QLatin1String("real"))
        return text.toDouble();
    return text;
}

} // namespace

QVariantMap readPropertyListDictionary(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist"))
        return {};
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("dict"))
        return {};
    QVariantMap map = readDictionary(xml);
    if (xml.hasError())
        return {};
    return map;
}

} // namespace wendle
