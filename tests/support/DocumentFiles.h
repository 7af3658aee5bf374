#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Real documents written by the test itself: the bytes a PDF writer or an office
// suite would leave on disk, small enough to read at a glance.
namespace wendle::test {

// A one-page PDF showing `text` (ASCII) in Helvetica.
QByteArray pdfShowing(const QString &text);

// A zip archive with these members, in this order (deflated, except a member
// called "mimetype", which OpenDocument wants stored).
QByteArray zipOf(const QList<QPair<QString, QByteArray>> &members);

// OpenDocument text and Word documents with one paragraph per entry.
QByteArray odtWith(const QStringList &paragraphs);
QByteArray docxWith(const QStringList &paragraphs);

} // namespace wendle::test
