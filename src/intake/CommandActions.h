#pragma once

#include <QString>

namespace wendle {

// What the grammar's actions call once a command form is complete. The
// Controller implements it; tests record the calls.
//
// A missing argument is a null QString (isNull()), never an empty one. Every
// value is the Latin-1 decoding of the token's 8-bit text, taken just before
// the call.
class CommandActions {
public:
    virtual ~CommandActions() = default;
    virtual void findFilename(const QString &term, const QString &ccAddress) = 0;
    virtual void findContents(const QString &term, const QString &ccAddress) = 0;
    virtual void confirmCommand(const QString &code) = 0;
    virtual void findFileForFaxing(const QString &term, const QString &number) = 0;
    virtual void findContentsForFaxing(const QString &term, const QString &number) = 0;
    virtual void launchiTunes() = 0;
    virtual void launchiPhoto() = 0;
    virtual void launchiChat() = 0;
    virtual void checkEmailWithCcTo(const QString &ccAddress) = 0;
    virtual void getScheduleForDay(const QString &day, const QString &month, const QString &year) = 0;
    virtual void customCommand(const QString &name) = 0;
    virtual void takeSnapshotAndEmailTo(const QString &ccAddress) = 0;
    virtual void reportSyntaxError() = 0;
    // One line for the system console (the "Wendle Command Received with
    // Error: …" line).
    virtual void writeConsoleLine(const QString &line) = 0;
};

} // namespace wendle
