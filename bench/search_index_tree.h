#pragma once

#include <QString>

namespace wendle::bench {

// A home's worth of files with the mix a desktop search meets: prose
// documents, PDFs, zipped office documents (.docx, .odt), source code, mail
// (.eml and mbox), web pages and tables, and the photos, music and archives
// that hold no text, in folders up to a dozen deep. Somewhat more than a third
// of the files hold text. "budget" is in a few percent of the texts, "tax
// return" in a few hundred names. Made once per size under
// /tmp/wendle-bench-mixed-FILES/tree and kept for the next run (the marker
// file "complete" beside it says it is whole).
struct MixedTree {
    QString root;
    qint64 files = 0;
    qint64 filesWithText = 0;
    double secondsToMake = 0; // 0 when an earlier run's tree was reused
};

// Empty root on failure.
MixedTree makeMixedTree(qint64 files);

} // namespace wendle::bench
