#pragma once

#include <QByteArray>
#include <QString>

typedef struct _GMimeObject GMimeObject;

namespace wendle {

// The parts of a received message that matter, found in one walk of its MIME
// tree: the first plain text, the first HTML text and the first attachment.
struct Parts {
    GMimeObject *plain = nullptr;
    GMimeObject *html = nullptr;
    GMimeObject *attachment = nullptr;
};

// Signatures are part of how a message was sent, not something sent.
bool isSignature(GMimeObject *part);
bool isAttachment(GMimeObject *part);
bool hasType(GMimeObject *part, const char *type, const char *subtype);

// Walks the tree (within MaxMimeDepth: parseBoundedMessage() measured it).
void collect(GMimeObject *part, Parts &parts);

// The content with its transfer encoding (base64, quoted-printable) undone.
QByteArray decodedContent(GMimeObject *part);
// UTF-8, or Latin-1 where the bytes are not UTF-8; line ends as "\n".
QString decodeText(const QByteArray &bytes);
// A text part's text in UTF-8, whatever its charset.
QString partText(GMimeObject *part);
// The text a reader sees first: the plain text, else the HTML one as text.
QString bodyText(const Parts &parts);

} // namespace wendle
