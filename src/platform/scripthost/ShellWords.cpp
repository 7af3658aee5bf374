#include "platform/scripthost/ShellWords.h"

#include <glib.h>

namespace wendle {

std::optional<QStringList> splitShellWords(const QString &line)
{
    // GLib splits the way a POSIX shell does, without expanding anything.
    const QByteArray utf8 = line.toUtf8();
    gint count = 0;
    gchar **words = nullptr;
    GError *error = nullptr;
    if (!g_shell_parse_argv(utf8.constData(), &count, &words, &error)) {
        // Only blanks (or a comment) is no words, not a mistake.
        const bool empty = g_error_matches(error, G_SHELL_ERROR, G_SHELL_ERROR_EMPTY_STRING);
        g_error_free(error);
        return empty ? std::optional<QStringList>(QStringList()) : std::nullopt;
    }
    QStringList result;
    for (gint i = 0; i < count; ++i)
        result << QString::fromUtf8(words[i]);
    g_strfreev(words);
    return result;
}

} // namespace wendle
