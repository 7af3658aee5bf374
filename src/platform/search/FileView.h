#pragma once

#include "platform/search/FileKinds.h"
#include "platform/search/extract/TextExtraction.h"

#include <QtGlobal>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wendle::search {

// Content is read up to this size: enough for any note or letter, and a bound on
// what one huge log file can cost a search.
inline constexpr std::size_t kMaxContentBytes = 1 << 20;

// Per-thread tools a FileView borrows, so that no file costs an allocation.
struct FileScratch {
    KindResolver kinds;
    std::vector<char> buffer;
    std::string path;
    std::string text; // extracted or converted text
    ExtractionLimits limits;
};

// One regular file met by the walk. The name is free; everything else is fetched
// on first use and kept: the size (one stat), the kind (from the name, or from the
// first bytes when the name says nothing) and the text content.
class FileView {
public:
    // name must stay valid and NUL-terminated while the view lives (a dirent name).
    // Without a folder descriptor (AT_FDCWD), openPath is the file's full path.
    FileView(int directoryFd, std::string_view directoryPath, const char *name, FileScratch &scratch, const char *openPath = nullptr);
    ~FileView();
    FileView(const FileView &) = delete;
    FileView &operator=(const FileView &) = delete;

    std::string_view name() const { return m_name; }
    std::string_view path();
    void setKnownSize(qint64 size) { m_size = size; }
    void setKnownKind(int kind) { m_kindByName = m_kind = kind; }
    // The text comes from elsewhere (an index) instead of the file: the source
    // fills the string, or answers false when the file has none.
    void setTextSource(std::function<bool(std::string &)> source) { m_textSource = std::move(source); }
    bool hasTextSource() const { return bool(m_textSource); }
    // The first bytes of that text, known without asking the source.
    void setTextHead(std::string_view head) { m_textHead = head; }
    std::optional<std::string_view> textHead() const { return m_textHead; }
    // Nothing when the file cannot be examined.
    std::optional<qint64> size();
    // The kind known from the name alone; -1 when only the content can tell.
    int kindByName();
    int kind();
    // Whether the kind shows, without reading, that the file has no text content.
    bool knownToHaveNoContent();
    // The text of the file as UTF-8 (up to kMaxContentBytes): plain text as it is or
    // converted from its encoding, the text of a PDF, office document, mail, web
    // page or RTF file. Nothing for other kinds, unreadable files, files that turn
    // out to be binary and files whose text cannot be extracted.
    std::optional<std::string_view> content() { return text(kMaxContentBytes); }
    // The same, but for plain UTF-8 text only the first `bytes` of it (more when
    // already read).
    std::optional<std::string_view> text(std::size_t bytes);
    // Why the text of a document could not be extracted; empty when it could.
    const QString &extractionProblem() const { return m_extractionProblem; }
    // The file was removed between its listing and the first read.
    bool vanished() const { return m_vanished; }
    // The first `bytes` of the file whatever its kind; nothing when unreadable.
    std::optional<std::string_view> head(std::size_t bytes);

private:
    static constexpr int kUnresolved = -2;
    static constexpr std::size_t kSniffBytes = 16 * 1024;

    int m_directoryFd;
    std::string_view m_directoryPath;
    const char *m_nameData;
    std::string_view m_name;
    FileScratch &m_scratch;
    bool m_pathBuilt = false;
    std::optional<qint64> m_size;
    bool m_sizeFailed = false;
    int m_kindByName = kUnresolved;
    int m_kind = kUnresolved;
    int m_fd = -1;
    bool m_openFailed = false;
    bool m_vanished = false;
    bool m_atEnd = false;
    std::size_t m_loaded = 0;
    std::optional<bool> m_isText;
    std::optional<bool> m_extracted;
    QString m_extractionProblem;
    std::function<bool(std::string &)> m_textSource;
    std::optional<std::string_view> m_textHead;

    bool load(std::size_t wanted);
    std::optional<std::string_view> plainText(std::size_t bytes);
    std::optional<std::string_view> extractedText(TextFormat format);
};

} // namespace wendle::search
