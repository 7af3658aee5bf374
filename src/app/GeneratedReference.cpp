#include "app/GeneratedReference.h"

#include "app/ConfigCommand.h"
#include "app/HelpBook.h"
#include "platform/chat/ChatTransports.h"
#include "platform/mail/MailTransports.h"
#include "settings/SettingRules.h"
#include "settings/Settings.h"

namespace wendle {

namespace {

QStringList settingKeys()
{
    QStringList keys;
    for (const SettingInfo &info : knownSettings())
        keys << info.key;
    return keys;
}

QStringList helpPageNameList()
{
    QStringList names;
    for (const HelpPage &page : HelpPages)
        names << QLatin1String(page.name);
    return names;
}

// One case arm: option values first (paths for FILE and DIR, nothing for
// the others), then the words.
QString caseArm(const CommandWords &command)
{
    QStringList words, valueArms;
    for (const QString &word : command.words) {
        const QString option = word.section(u'=', 0, 0);
        words << option;
        if (!word.contains(u'='))
            continue;
        const QString kind = word.section(u'=', 1);
        const QString action = kind == QLatin1String("FILE")  ? QStringLiteral("_filedir")
                               : kind == QLatin1String("DIR") ? QStringLiteral("_filedir -d")
                                                              : QString();
        valueArms << QStringLiteral("        %1)\n            %2\n            return\n            ;;\n")
                         .arg(option, action.isEmpty() ? QStringLiteral(":") : action);
    }
    QString arm = QStringLiteral("    %1)\n").arg(command.name);
    if (!valueArms.isEmpty())
        arm += QStringLiteral("        case $prev in\n") + valueArms.join(QString()) + QStringLiteral("        esac\n");
    words << QStringLiteral("--help");
    arm += QStringLiteral("        COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))\n        ;;\n").arg(words.join(u' '));
    return arm;
}

// Roff text: a backslash and a leading dot or quote would be read as requests.
QString roff(const QString &text)
{
    QString escaped = text;
    escaped.replace(u'\\', QLatin1String("\\e")).replace(u'-', QLatin1String("\\-"));
    if (escaped.startsWith(u'.') || escaped.startsWith(u'\''))
        escaped.prepend(QLatin1String("\\&"));
    return escaped;
}

// One tagged paragraph per way a reply leaves, the default first.
template <typename Rows> QString transportParagraphs(const char *key, const QString &what, const Rows &rows)
{
    QString text = QStringLiteral(".PP\n.B %1\nchooses how %2:\n").arg(QLatin1String(key), what);
    for (const auto &row : rows) {
        const QString description = QString::fromUtf8(row.description);
        text += QStringLiteral(".TP\n.B %1\n%2%3.\n")
                    .arg(QLatin1String(row.name), &row == &rows.front() ? QStringLiteral("(default) ") : QString(), roff(description));
    }
    return text;
}

} // namespace

QString completionScript(const QList<CommandWords> &commands)
{
    QStringList names;
    QString arms;
    for (const CommandWords &command : commands) {
        names << command.name;
        if (command.name != QLatin1String("config"))
            arms += caseArm(command);
    }
    QString script = QStringLiteral("# bash completion for wendle(1), written by `wendle --print-completion`\n\n"
                                    "_wendle()\n{\n"
                                    "    local cur prev words cword\n"
                                    "    _init_completion || return\n\n"
                                    "    local commands=\"%1 help\"\n"
                                    "    if [[ $cword -eq 1 ]]; then\n"
                                    "        COMPREPLY=($(compgen -W \"$commands --help --version\" -- \"$cur\"))\n"
                                    "        return\n"
                                    "    fi\n\n"
                                    "    case ${words[1]} in\n"
                                    "%2"
                                    "    help)\n"
                                    "        [[ $cword -eq 2 ]] && COMPREPLY=($(compgen -W \"%1 %3\" -- \"$cur\"))\n"
                                    "        ;;\n"
                                    "    config)\n"
                                    "        if [[ $cword -eq 2 ]]; then\n"
                                    "            COMPREPLY=($(compgen -W \"%4 --help\" -- \"$cur\"))\n"
                                    "        elif [[ $cword -eq 3 && ${words[2]} == @(get|set|unset|describe) ]]; then\n"
                                    "            COMPREPLY=($(compgen -W \"%5\" -- \"$cur\"))\n"
                                    "        fi\n"
                                    "        ;;\n"
                                    "    esac\n"
                                    "}\n"
                                    "complete -F _wendle wendle\n");
    QStringList configWords;
    for (const CommandWords &command : commands) {
        if (command.name == QLatin1String("config"))
            configWords = command.words;
    }
    return script.arg(names.join(u' '), arms, helpPageNameList().join(u' '), configWords.join(u' '), settingKeys().join(u' '));
}

QString manualSections()
{
    QString text = QStringLiteral(".SH SETTINGS\n"
                                  "Each setting is read with\n.B wendle config get\n"
                                  "and changed with\n.BR \"wendle config set\" ;\n"
                                  "a stored value that breaks its rule is reported at start and the default is used.\n");
    for (const SettingInfo &info : knownSettings()) {
        QString kind = settingTypeName(info.type);
        const QString allowed = settingAllowedValues(info.key);
        if (!allowed.isEmpty())
            kind += QStringLiteral(", ") + allowed;
        const QString defaultText = displaySettingValue(info.key, info.defaultValue);
        if (!defaultText.isEmpty())
            kind += QStringLiteral("; default ") + defaultText;
        text += QStringLiteral(".TP\n.B %1\n(%2) %3.\n").arg(info.key, roff(kind), roff(QString::fromUtf8(info.description)));
    }
    text += QStringLiteral(".SH HOW REPLIES LEAVE\n");
    text += transportParagraphs(RBMailTransport, QStringLiteral("replies are mailed"), MailTransports);
    text += transportParagraphs(RBChatTransport, QStringLiteral("chat replies are sent"), ChatTransports);
    text += QStringLiteral(".SH HELP PAGES\n"
                           ".B wendle help\n.I PAGE\n"
                           "shows a page of the help book: ");
    QStringList pages;
    for (const QString &name : helpPageNameList())
        pages << QStringLiteral("\\fB%1\\fR").arg(name);
    text += pages.join(QLatin1String(", ")) + QStringLiteral(".\n");
    return text;
}

} // namespace wendle
