#pragma once

#include <QString>

namespace wendle {

struct OutgoingChat {
    QString handle; // the owner's chat account
    QString text;
    QString filePath; // empty when no file goes with the text
};

class ChatTransport {
public:
    virtual ~ChatTransport() = default;
    // False when the reply could not be taken (the caller reports it).
    virtual bool send(const OutgoingChat &chat, const QString &script) = 0;
    // How the adapter's link or queue stands, for `wendle status`; empty for
    // one that keeps neither.
    virtual QString state() const { return {}; }
};

} // namespace wendle
