#pragma once

#include <QString>

#include <strophe.h>

namespace wendle::xmpp {

// A stanza this code made and releases.
class Stanza {
public:
    explicit Stanza(xmpp_stanza_t *stanza) : m_stanza(stanza) {}
    ~Stanza()
    {
        if (m_stanza)
            xmpp_stanza_release(m_stanza);
    }
    Stanza(const Stanza &) = delete;
    Stanza &operator=(const Stanza &) = delete;
    xmpp_stanza_t *get() const { return m_stanza; }

private:
    xmpp_stanza_t *m_stanza;
};

inline QString text(const char *utf8)
{
    return utf8 ? QString::fromUtf8(utf8) : QString();
}

inline QString attribute(xmpp_stanza_t *stanza, const char *name)
{
    return stanza ? text(xmpp_stanza_get_attribute(stanza, name)) : QString();
}

// An element <name xmlns="ns"/>, ns left out when null.
xmpp_stanza_t *element(xmpp_ctx_t *ctx, const char *name, const char *ns = nullptr);
// Adds <name>text</name> to parent and returns the new element.
xmpp_stanza_t *addTextElement(xmpp_stanza_t *parent, const char *name, const QByteArray &text);
// The text of the child element name, or null.
QString childText(xmpp_stanza_t *parent, const char *name);
// The UTF-8 an XML 1.0 document can carry: control characters other than
// tab and line breaks are dropped (a server would close the stream on them),
// and at most maxBytes, cut between characters.
QByteArray xmlText(const QString &text, qsizetype maxBytes);
// The defined condition of an error reply, such as "service-unavailable".
QString errorCondition(xmpp_stanza_t *stanza);

} // namespace wendle::xmpp
