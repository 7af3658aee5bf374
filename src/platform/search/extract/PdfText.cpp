#include "platform/search/extract/TextExtraction.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <QElapsedTimer>

#include <memory>
#include <mutex>

namespace wendle::search {

namespace {

// Poppler reports every oddity of a damaged file on stderr; the caller says once
// what became of the file instead.
void silencePoppler()
{
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function([](const std::string &, void *) {}, nullptr); });
}

} // namespace

bool pdfToText(std::string_view pdf, const ExtractionLimits &limits, std::string &text, QString *why)
{
    silencePoppler();
    const auto fail = [why](const char *reason) {
        if (why)
            *why = QString::fromLatin1(reason);
        return false;
    };
    std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(pdf.data(), int(pdf.size())));
    if (!document)
        return fail("not a readable PDF");
    if (document->is_locked())
        return fail("an encrypted PDF");
    QElapsedTimer clock;
    clock.start();
    const int pages = document->pages();
    for (int index = 0; index < pages && text.size() < limits.maxTextBytes; ++index) {
        // Checked between pages: one page is quick, a thousand scanned ones are not.
        if (clock.elapsed() > limits.maxMilliseconds) {
            if (text.empty())
                return fail("no text within the time allowed");
            break;
        }
        const std::unique_ptr<poppler::page> page(document->create_page(index));
        if (!page)
            continue;
        const poppler::byte_array utf8 = page->text().to_utf8();
        text.append(utf8.data(), std::min(utf8.size(), limits.maxTextBytes - text.size()));
        text += '\n';
    }
    return true;
}

} // namespace wendle::search
