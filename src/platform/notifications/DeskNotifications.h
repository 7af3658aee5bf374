#pragma once

#include <QString>

#include <functional>

namespace wendle {

// Notices for the owner sitting at the computer, each offering to pause
// remote commands. A notice the desktop cannot show is dropped: it informs,
// and a command never waits for it.
class DeskNotifications {
public:
    using PauseHandler = std::function<void()>;

    virtual ~DeskNotifications() = default;
    // Shows a notice; the owner choosing its pause action calls the handler.
    virtual void notify(const QString &summary, const QString &body) = 0;
    void setPauseHandler(PauseHandler handler) { m_pause = std::move(handler); }

protected:
    void pauseRequested()
    {
        if (m_pause)
            m_pause();
    }

private:
    PauseHandler m_pause;
};

} // namespace wendle
