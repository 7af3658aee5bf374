#include "platform/search/FileKinds.h"

#include <gtest/gtest.h>

using namespace wendle::search;

// The resolver answers most names from a cache keyed by their last suffix; whatever
// it caches, it must type every name exactly as the MIME database does.
TEST(SearchFileKinds, TypesNamesExactlyAsTheMimeDatabase)
{
    const char *const names[] = {
        "report.pdf",
        "REPORT.PDF",
        "photo.2019.05.jpg",
        "x.gz",
        "backup.tar.gz",
        "old.backup.TAR.GZ",
        "drawing.svg.gz",
        "notes.txt",
        "notes.txt~",
        "file.c,v",
        "README",
        "readme.md",
        "README.txt",
        "Makefile",
        "makefile.am",
        "CMakeLists.txt",
        "libfoo.so.1.2",
        "libfoo.so",
        "page.1",
        "core",
        "main.c",
        "main.C",
        "123.vdr",
        "12.vdr",
        "memo",
        "data.unknownsuffix",
        "a.b.c.d.odt",
        "trailing.",
        "Résumé final.docx",
    };
    const QMimeDatabase database;
    const KindCatalogue &catalogue = KindCatalogue::instance();
    KindResolver resolver;
    for (int pass = 0; pass < 2; ++pass) { // the second pass answers from the cache
        for (const char *name : names) {
            const QMimeType expected = database.mimeTypeForFile(QString::fromUtf8(name), QMimeDatabase::MatchExtension);
            const int id = resolver.byName(name);
            const QString found = id < 0 ? QStringLiteral("(none)") : catalogue.at(id).mimeName;
            EXPECT_EQ(found.toStdString(), expected.isDefault() ? "(none)" : expected.name().toStdString()) << name << " on pass " << pass;
        }
    }
}
