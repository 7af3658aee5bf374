#include "platform/scripthost/ShellWords.h"

namespace wendle {

std::optional<QStringList> splitShellWords(const QString &line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            if (++i < line.size())
                word += line[i];
        } else if (c == u'\'') {
            const qsizetype end = line.indexOf(u'\'', i + 1);
            if (end < 0)
                return std::nullopt;
            word += QStringView(line).mid(i + 1, end - i - 1);
            i = end;
        } else if (c == u'"') {
            for (++i; i < line.size() && line[i] != u'"'; ++i) {
                if (line[i] == u'\\' && i + 1 < line.size() && QStringView(u"\"\\$`").contains(line[i + 1]))
                    ++i;
                word += line[i];
            }
            if (i >= line.size())
                return std::nullopt;
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

} // namespace wendle
