#pragma once

// Mail messages written out by hand, the way a phone's mail program sends
// them, for the tests of the intake and of the running instance alike.

#include <QByteArray>
#include <QDateTime>

namespace wendle::test {

inline QByteArray headers(const QByteArray &id, const QByteArray &date = QDateTime::currentDateTime().toString(Qt::RFC2822Date).toUtf8())
{
    QByteArray text = "From: owner@example.org\r\nTo: computer@example.com\r\nSubject: x\r\nMessage-ID: <" + id + "@phone.example>\r\n";
    return date.isEmpty() ? text : text + "Date: " + date + "\r\n";
}

inline QByteArray textEntity(const QByteArray &text)
{
    return "Content-Type: text/plain; charset=utf-8\r\n\r\n" + text + "\r\n";
}

// RFC 3156: the signature covers the first part exactly as it stands between the boundaries.
inline QByteArray multipartSigned(const QByteArray &entity, const QByteArray &signature, const QByteArray &boundary = "sig")
{
    return "Content-Type: multipart/signed; micalg=pgp-sha512; protocol=\"application/pgp-signature\"; boundary=\"" + boundary
           + "\"\r\n\r\n--" + boundary + "\r\n" + entity + "\r\n--" + boundary
           + "\r\nContent-Type: application/pgp-signature; name=\"signature.asc\"\r\n\r\n" + signature + "\r\n--" + boundary + "--\r\n";
}

} // namespace wendle::test
