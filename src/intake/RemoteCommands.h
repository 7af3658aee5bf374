#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

namespace wendle {

// The operations a remote command can ask for. Each has one row in
// remoteCommands, at the place of its value.
enum class RemoteCommand : std::size_t {
    FindFilename,
    FindContents,
    ConfirmCommand,
    FindFileForFaxing,
    FindContentsForFaxing,
    LaunchiTunes,
    LaunchiPhoto,
    LaunchiChat,
    CheckEmailWithCcTo,
    GetScheduleForDay,
    CustomCommand,
    TakeSnapshotAndEmailTo,
};

struct RemoteCommandRow {
    RemoteCommand id;
    // The operation's name: the Controller member that carries it out, and
    // how the test recorder writes the call.
    std::string_view name;
    // How many arguments every call carries, present or not.
    std::size_t arity;
};

// The grammar builds its calls from these rows (commandCall), the Controller
// dispatches them through a handler table that must follow this one row for
// row, and the test recorder writes them with the row's name.
// clang-format off
inline constexpr std::array remoteCommands = {
    RemoteCommandRow{RemoteCommand::FindFilename,           "findFilename",           2}, // term, cc address
    RemoteCommandRow{RemoteCommand::FindContents,           "findContents",           2}, // term, cc address
    RemoteCommandRow{RemoteCommand::ConfirmCommand,         "confirmCommand",         1}, // code
    RemoteCommandRow{RemoteCommand::FindFileForFaxing,      "findFileForFaxing",      2}, // term, fax number
    RemoteCommandRow{RemoteCommand::FindContentsForFaxing,  "findContentsForFaxing",  2}, // term, fax number
    RemoteCommandRow{RemoteCommand::LaunchiTunes,           "launchiTunes",           0},
    RemoteCommandRow{RemoteCommand::LaunchiPhoto,           "launchiPhoto",           0},
    RemoteCommandRow{RemoteCommand::LaunchiChat,            "launchiChat",            0},
    RemoteCommandRow{RemoteCommand::CheckEmailWithCcTo,     "checkEmailWithCcTo",     1}, // cc address
    RemoteCommandRow{RemoteCommand::GetScheduleForDay,      "getScheduleForDay",      3}, // day, month, year
    RemoteCommandRow{RemoteCommand::CustomCommand,          "customCommand",          1}, // shortcut name
    RemoteCommandRow{RemoteCommand::TakeSnapshotAndEmailTo, "takeSnapshotAndEmailTo", 1}, // cc address
};
// clang-format on

// A lookup is an index, so each row must sit at its id's place.
constexpr bool remoteCommandsFollowTheirIds()
{
    for (std::size_t at = 0; at < remoteCommands.size(); ++at) {
        if (remoteCommands[at].id != RemoteCommand(at) || remoteCommands[at].name.empty())
            return false;
    }
    return true;
}
static_assert(remoteCommandsFollowTheirIds(), "remoteCommands lists every id once, in the enum's order, each with a name");

constexpr const RemoteCommandRow &remoteCommand(RemoteCommand id)
{
    return remoteCommands[std::size_t(id)];
}

// A command the grammar recognised: the operation and its arguments, in the
// operation's order. A missing argument is a null QString (isNull()), never
// an empty one. Every value is the Latin-1 decoding of the token's 8-bit
// text.
struct CommandCall {
    RemoteCommand id;
    QStringList arguments;
};

// Builds a call of `Id`; a count of values other than the row's arity does
// not compile.
template <RemoteCommand Id, typename... Values> CommandCall commandCall(Values &&...values)
{
    static_assert(sizeof...(Values) == remoteCommand(Id).arity, "a call carries exactly its row's number of arguments");
    return {Id, QStringList{QString(std::forward<Values>(values))...}};
}

} // namespace wendle
