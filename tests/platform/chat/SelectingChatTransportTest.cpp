#include "platform/chat/ChatAdapters.h"
#include "support/Doubles.h"

#include <gtest/gtest.h>

using namespace wendle;
using namespace wendle::test;

// The choice is read at each reply; an adapter that keeps no link is
// reported by the choice's name.
TEST(SelectingChatTransport, SendsByTheChoiceAndReportsItsState)
{
    struct Case {
        QVariant choice;
        const char *expected;
        const char *state;
    };
    const Case cases[] = {{QVariant(), "outbox", "outbox"},
                          {"script", "script", "script"},
                          {"xmpp", "xmpp", "xmpp, logging in"},
                          {" MCABBER", "mcabber", "mcabber, FIFO"},
                          {"carrier pigeon", "outbox", "outbox"}};
    MemoryPreferences preferences;
    RecordingChatTransport outbox, script, xmpp, mcabber;
    xmpp.stateText = QStringLiteral("xmpp, logging in");
    mcabber.stateText = QStringLiteral("mcabber, FIFO");
    const std::pair<const char *, RecordingChatTransport *> transports[] = {
        {"outbox", &outbox}, {"script", &script}, {"xmpp", &xmpp}, {"mcabber", &mcabber}};
    SelectingChatTransport selecting(preferences, outbox, script, xmpp, mcabber);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.choice.toString().toStdString());
        preferences.setValue(QStringLiteral("chatTransport"), c.choice);
        EXPECT_TRUE(selecting.send({QStringLiteral("owner@example.org"), QStringLiteral("hi"), {}}, QString()));
        for (const auto &[name, transport] : transports) {
            EXPECT_EQ(transport->sent.size(), name == std::string_view(c.expected) ? 1 : 0) << name;
            transport->sent.clear();
        }
        EXPECT_EQ(selecting.state(), QString::fromLatin1(c.state));
    }
}
