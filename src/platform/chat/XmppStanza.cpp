#include "platform/chat/XmppStanza.h"

namespace wendle::xmpp {

xmpp_stanza_t *element(xmpp_ctx_t *ctx, const char *name, const char *ns)
{
    xmpp_stanza_t *stanza = xmpp_stanza_new(ctx);
    xmpp_stanza_set_name(stanza, name);
    if (ns)
        xmpp_stanza_set_ns(stanza, ns);
    return stanza;
}

xmpp_stanza_t *addTextElement(xmpp_stanza_t *parent, const char *name, const QByteArray &text)
{
    xmpp_ctx_t *ctx = xmpp_stanza_get_context(parent);
    xmpp_stanza_t *child = element(ctx, name);
    xmpp_stanza_t *content = xmpp_stanza_new(ctx);
    xmpp_stanza_set_text(content, text.constData());
    xmpp_stanza_add_child_ex(child, content, 0);
    xmpp_stanza_add_child_ex(parent, child, 0);
    return child;
}

QString childText(xmpp_stanza_t *parent, const char *name)
{
    xmpp_stanza_t *child = parent ? xmpp_stanza_get_child_by_name(parent, name) : nullptr;
    if (!child)
        return QString();
    char *content = xmpp_stanza_get_text(child);
    const QString result = content ? QString::fromUtf8(content) : QLatin1String("");
    if (content)
        xmpp_free(xmpp_stanza_get_context(child), content);
    return result;
}

QByteArray xmlText(const QString &text, qsizetype maxBytes)
{
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0xFFFE || u == 0xFFFF)
            continue;
        clean += c;
    }
    QByteArray bytes = clean.toUtf8();
    if (bytes.size() > maxBytes) {
        qsizetype end = maxBytes;
        while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80)
            --end;
        bytes.truncate(end);
    }
    return bytes;
}

QString errorCondition(xmpp_stanza_t *stanza)
{
    xmpp_stanza_t *error = stanza ? xmpp_stanza_get_child_by_name(stanza, "error") : nullptr;
    for (xmpp_stanza_t *child = error ? xmpp_stanza_get_children(error) : nullptr; child; child = xmpp_stanza_get_next(child)) {
        const char *name = xmpp_stanza_get_name(child);
        if (name && qstrcmp(name, "text") != 0)
            return QString::fromUtf8(name);
    }
    return QStringLiteral("no reason given");
}

} // namespace wendle::xmpp
