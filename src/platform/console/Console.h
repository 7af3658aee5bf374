#pragma once

#include <QString>

namespace wendle {

// The system console: one line per message.
class Console {
public:
    virtual ~Console() = default;
    virtual void writeLine(const QString &line) = 0;
};

// Standard error, which the journal collects under systemd.
class StderrConsole : public Console {
public:
    void writeLine(const QString &line) override;
};

} // namespace wendle
