#include "platform/mail/GMimeLibrary.h"

#include <gmime/gmime.h>

#include <mutex>

namespace wendle {

void ensureGMimeInitialised()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

} // namespace wendle
