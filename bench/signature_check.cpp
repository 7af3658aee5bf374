// Times the signature check of a signed command against its floor, gpg
// verifying the same message by itself, and the whole command road with
// signatures required: `wendle deliver` of a freshly signed command until the
// running Wendle has logged it, beside the same road for unsigned mail.
//
//   build/bench/bench_signature_check [runs]
//
// The check is what `wendle deliver` and the mailbox watcher add per message:
// GMime finds the multipart/signed part and has GnuPG verify it through
// GpgME, and the signing subkey is looked up for its primary key. The floor is
// `gpg --verify signature entity` as a process of its own, so both pay for
// starting gpg once.

#include "platform/mail/InboundMessage.h"
#include "support/TestKeyring.h"
#include "support/WendleInstance.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace wendle;
using namespace wendle::test;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QByteArray entityFor(const QByteArray &command)
{
    return "Content-Type: text/plain; charset=utf-8\r\n\r\n" + command + "\r\n";
}

QByteArray signedMessage(const QByteArray &id, const QByteArray &entity, const QByteArray &signature)
{
    return "From: owner@example.org\r\nTo: computer@example.com\r\nSubject: x\r\nMessage-ID: <" + id
           + "@phone.example>\r\n"
             "MIME-Version: 1.0\r\nContent-Type: multipart/signed; micalg=pgp-sha512; protocol=\"application/pgp-signature\"; "
             "boundary=\"sig\"\r\n\r\n--sig\r\n"
           + entity + "\r\n--sig\r\nContent-Type: application/pgp-signature\r\n\r\n" + signature + "\r\n--sig--\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    TestKeyring keys;
    const QString owner = keys.makePhoneKey(QStringLiteral("owner@example.org"));
    if (owner.isEmpty()) {
        std::fprintf(stderr, "bench_signature_check: gpg could not make a key\n");
        return 1;
    }
    qputenv("GNUPGHOME", QFile::encodeName(keys.home()));
    const QByteArray entity = entityFor("wndl find named budget");
    const QByteArray signature = keys.detachSign(owner, entity);
    const QByteArray message = signedMessage("bench", entity, signature);
    writeFile(keys.home() + "/entity", entity);
    writeFile(keys.home() + "/entity.asc", signature);

    std::vector<double> check, floor;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        const std::optional<InboundMail> mail = parseInboundMessage(message, QString(), &error);
        const double checked = timer.nsecsElapsed() / 1e6;
        if (!mail || mail->signature.state != MailSignature::State::Good || mail->signature.fingerprint != owner) {
            std::fprintf(stderr, "bench_signature_check: the signature did not check out: %s\n",
                         qPrintable(mail ? mail->signature.problem : error));
            return 1;
        }
        timer.restart();
        if (keys.gpg({QStringLiteral("--verify"), keys.home() + "/entity.asc", keys.home() + "/entity"}) != 0) {
            std::fprintf(stderr, "bench_signature_check: gpg --verify failed\n");
            return 1;
        }
        const double verified = timer.nsecsElapsed() / 1e6;
        if (i == 0)
            continue; // warm-up: caches, the first gpg start
        check.push_back(checked);
        floor.push_back(verified);
    }
    std::printf("signature check per command (parse + verify):  median %7.2f ms over %d runs\n", median(check), runs);
    std::printf("gpg --verify of the same message (floor):      median %7.2f ms\n", median(floor));
    std::printf("ratio check / floor:                           %7.2f\n", median(check) / median(floor));

    // The whole road: each command signed anew, so the memory of signed
    // commands taken does not refuse it.
    TestSession session;
    session.setVariable(QStringLiteral("GNUPGHOME"), keys.home());
    if (!session.isReady()
        || !session.configure({{"limitCommandsFlag", "no"}, {"requireSignedCommands", "yes"}, {"ownerKeyFingerprints", owner}})
        || !session.startDaemon()) {
        std::fprintf(stderr, "bench_signature_check: no Wendle to time the road with\n");
        return 1;
    }
    // The same road unsigned, with the check off, shows what signatures add.
    const auto timeRoad = [&](bool signedRoad, std::vector<double> &road) {
        session.configure(QStringLiteral("requireSignedCommands"), signedRoad ? QStringLiteral("yes") : QStringLiteral("no"));
        for (int i = 0; i <= runs; ++i) {
            const QByteArray term = (signedRoad ? "signed" : "plain") + QByteArray::number(i);
            const QByteArray command = entityFor("wndl find named " + term);
            const QByteArray mail = signedRoad ? signedMessage(term, command, keys.detachSign(owner, command))
                                               : "From: owner@example.org\r\nMessage-ID: <" + term + "@phone.example>\r\n" + command;
            QElapsedTimer timer;
            timer.start();
            session.runWendle({QStringLiteral("deliver")}, nullptr, nullptr, mail);
            // Polled finely: the road is a few tens of milliseconds.
            const QString logged = "files named:  " + QString::fromLatin1(term);
            while (!session.logText().contains(logged) && timer.elapsed() < 20000)
                QThread::usleep(500);
            if (!session.logText().contains(logged))
                return false;
            if (i > 0)
                road.push_back(timer.nsecsElapsed() / 1e6);
        }
        return true;
    };
    std::vector<double> signedRoad, plainRoad;
    if (!timeRoad(true, signedRoad) || !timeRoad(false, plainRoad)) {
        std::fprintf(stderr, "bench_signature_check: Wendle did not run a command\n%s\n", qPrintable(session.daemonConsole()));
        return 1;
    }
    session.stopDaemon();
    std::printf("command road, signatures required (wendle deliver to the log entry):  median %7.2f ms\n", median(signedRoad));
    std::printf("the same road unsigned, signatures not required:                    median %7.2f ms\n", median(plainRoad));
    return 0;
}
