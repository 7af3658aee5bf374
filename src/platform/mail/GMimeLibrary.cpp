#include "platform/mail/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <mutex>

namespace wendle {

void ensureGMimeInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

GMimeMessage *parseMimeMessage(const QByteArray &bytes)
{
    ensureGMimeInitialised();
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(bytes.constData(), size_t(bytes.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);
    return message;
}

} // namespace wendle
