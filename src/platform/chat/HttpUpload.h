#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <atomic>

namespace wendle {

// Where the chat server lets one file be put and then fetched.
struct UploadSlot {
    QString putUrl;
    QString getUrl;
    QList<QPair<QString, QString>> headers; // sent with the PUT
};

// Puts the file to the slot with libcurl. Blocks: run it off the event loop.
// The link must be encrypted (https) unless the host is this machine;
// trustedCertificate (a PEM file, may be empty) is trusted beside the
// system's store. Returns empty on success, otherwise why it failed. The
// cancel flag stops a transfer in progress.
QString putFile(const UploadSlot &slot, const QString &path, const QString &contentType, const QString &trustedCertificate,
                const std::atomic_bool &cancel);

} // namespace wendle
