#pragma once

// File and byte helpers shared by the mail unit tests and the integration tests.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace wendle::test {

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the folders above path as needed, and extends the file to size with
// a hole when given; false when anything fails.
inline bool writeFile(const QString &path, const QByteArray &bytes, qint64 size = -1)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()
           && (size < 0 || file.resize(size));
}

// The same bytes of every value for the same seed.
inline QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

} // namespace wendle::test
