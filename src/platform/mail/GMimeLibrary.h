#pragma once

namespace wendle {

// GMime keeps global tables (charsets, encodings) that g_mime_init() fills.
// Every entry point that touches GMime calls this first; the first caller
// initialises the library, concurrent callers wait for it, later calls are free.
void ensureGMimeInitialised();

} // namespace wendle
