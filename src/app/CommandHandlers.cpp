#include "app/Controller.h"

#include "intake/RemoteCommands.h"

#include <array>
#include <cstddef>
#include <utility>

namespace wendle {
namespace {

template <typename... Parameters> constexpr std::size_t parameterCount(void (Controller::*)(Parameters...))
{
    return sizeof...(Parameters);
}

// Calls the member with the call's arguments in order, one per parameter.
template <auto Member, std::size_t... At> void invokeWith(Controller &controller, const QStringList &arguments, std::index_sequence<At...>)
{
    (controller.*Member)(arguments.value(At)...);
}

template <auto Member> void invoke(Controller &controller, const QStringList &arguments)
{
    invokeWith<Member>(controller, arguments, std::make_index_sequence<parameterCount(Member)>());
}

struct Handler {
    std::size_t parameters;
    void (*run)(Controller &, const QStringList &);
};

template <auto Member> constexpr Handler handle{parameterCount(Member), &invoke<Member>};

struct HandlerRow {
    RemoteCommand id;
    Handler handler;
};

// The member that carries out each remote command, row for row with
// remoteCommands.
// clang-format off
constexpr std::array handlers = {
    HandlerRow{RemoteCommand::FindFilename,           handle<&Controller::findFilename>},
    HandlerRow{RemoteCommand::FindContents,           handle<&Controller::findContents>},
    HandlerRow{RemoteCommand::ConfirmCommand,         handle<&Controller::confirmCommand>},
    HandlerRow{RemoteCommand::FindFileForFaxing,      handle<&Controller::findFileForFaxing>},
    HandlerRow{RemoteCommand::FindContentsForFaxing,  handle<&Controller::findContentsForFaxing>},
    HandlerRow{RemoteCommand::LaunchiTunes,           handle<&Controller::launchiTunes>},
    HandlerRow{RemoteCommand::LaunchiPhoto,           handle<&Controller::launchiPhoto>},
    HandlerRow{RemoteCommand::LaunchiChat,            handle<&Controller::launchiChat>},
    HandlerRow{RemoteCommand::CheckEmailWithCcTo,     handle<&Controller::checkEmailWithCcTo>},
    HandlerRow{RemoteCommand::GetScheduleForDay,      handle<&Controller::getScheduleForDay>},
    HandlerRow{RemoteCommand::CustomCommand,          handle<&Controller::customCommand>},
    HandlerRow{RemoteCommand::TakeSnapshotAndEmailTo, handle<&Controller::takeSnapshotAndEmailTo>},
};
// clang-format on

// An id without a handler, or a member that takes other than its row's
// number of arguments, stops the build here.
constexpr bool handlersFollowTheTable()
{
    if (handlers.size() != remoteCommands.size())
        return false;
    for (std::size_t at = 0; at < handlers.size(); ++at) {
        if (handlers[at].id != remoteCommands[at].id || handlers[at].handler.parameters != remoteCommands[at].arity)
            return false;
    }
    return true;
}
static_assert(handlersFollowTheTable(), "handlers follows remoteCommands row for row, each member taking its row's arguments");

} // namespace

void Controller::runCommand(const CommandCall &call)
{
    handlers[std::size_t(call.id)].handler.run(*this, call.arguments);
}

} // namespace wendle
