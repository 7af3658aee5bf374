#pragma once

#include <QByteArray>

typedef struct _GMimeMessage GMimeMessage;

namespace wendle {

// GMime keeps global tables (charsets, encodings) that g_mime_init() fills.
// Every entry point that touches GMime calls this first; the first caller
// initialises the library, concurrent callers wait for it, later calls are free.
void ensureGMimeInitialised();

// Parses a whole message held in memory; nullptr when GMime finds none. The
// caller owns the result (g_object_unref).
GMimeMessage *parseMimeMessage(const QByteArray &bytes);

} // namespace wendle
