#include "platform/search/FileView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wendle::search {

namespace {

// A NUL byte near the start marks a binary file whose name claims text.
constexpr std::size_t kBinaryProbeBytes = 8 * 1024;
// A scratch buffer grown for one big document is given back rather than kept for
// the rest of the walk.
constexpr std::size_t kKeptBufferBytes = 4 << 20;

// Maildir keeps each message in cur/ or new/ under a name like
// "1712345678.M20P7.host:2,S", which no MIME glob knows.
bool isMaildirMessage(std::string_view folder, std::string_view name)
{
    const bool inMaildir = folder.ends_with("/cur") || folder.ends_with("/new");
    return inMaildir && (name.find(":2,") != std::string_view::npos || name.find(".M") != std::string_view::npos);
}

} // namespace

FileView::FileView(int directoryFd, std::string_view directoryPath, const char *name, FileScratch &scratch, const char *openPath)
    : m_directoryFd(directoryFd)
    , m_directoryPath(directoryPath)
    , m_nameData(openPath ? openPath : name)
    , m_name(name)
    , m_scratch(scratch)
{}

FileView::~FileView()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (m_scratch.buffer.size() > kKeptBufferBytes)
        std::vector<char>().swap(m_scratch.buffer);
    if (m_scratch.text.capacity() > kKeptBufferBytes)
        std::string().swap(m_scratch.text);
}

std::string_view FileView::path()
{
    std::string &path = m_scratch.path;
    if (!m_pathBuilt) {
        path.assign(m_directoryPath);
        if (path.empty() || path.back() != '/')
            path += '/';
        path += m_name;
        m_pathBuilt = true;
    }
    return path;
}

std::optional<qint64> FileView::size()
{
    if (m_size || m_sizeFailed)
        return m_size;
    struct stat status;
    if (::fstatat(m_directoryFd, m_nameData, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
        m_size = qint64(status.st_size);
    else
        m_sizeFailed = true;
    return m_size;
}

int FileView::kindByName()
{
    if (m_kindByName != kUnresolved)
        return m_kindByName;
    m_kindByName = m_scratch.kinds.byName(m_name);
    if (m_kindByName < 0 && isMaildirMessage(m_directoryPath, m_name))
        m_kindByName = KindCatalogue::instance().idOf(QStringLiteral("message/rfc822"));
    return m_kindByName;
}

int FileView::kind()
{
    if (m_kind != kUnresolved)
        return m_kind;
    m_kind = kindByName();
    if (m_kind >= 0)
        return m_kind;
    // Like the desktop: the name first, the first bytes only when the name is mute.
    if (load(kSniffBytes))
        m_kind = m_scratch.kinds.byContent(std::string_view(m_scratch.buffer.data(), std::min(m_loaded, kSniffBytes)));
    else
        m_kind = KindCatalogue::instance().unknownId();
    return m_kind;
}

bool FileView::knownToHaveNoContent()
{
    const int byName = kindByName();
    return byName >= 0 && KindCatalogue::instance().at(byName).format == TextFormat::None;
}

std::optional<std::string_view> FileView::head(std::size_t bytes)
{
    if (!load(bytes))
        return std::nullopt;
    return std::string_view(m_scratch.buffer.data(), m_loaded);
}

std::optional<std::string_view> FileView::text(std::size_t bytes)
{
    if (m_textSource) {
        if (!m_extracted)
            m_extracted = m_textSource(m_scratch.text);
        return *m_extracted ? std::optional<std::string_view>(m_scratch.text) : std::nullopt;
    }
    const TextFormat format = KindCatalogue::instance().at(kind()).format;
    if (format == TextFormat::None)
        return std::nullopt;
    return format == TextFormat::Plain ? plainText(bytes) : extractedText(format);
}

std::optional<std::string_view> FileView::plainText(std::size_t bytes)
{
    if (m_isText && !*m_isText)
        return std::nullopt;
    if (m_extracted) // converted from another encoding: the whole text is in hand
        return std::string_view(m_scratch.text);
    if (!load(bytes))
        return std::nullopt;
    const std::string_view loaded(m_scratch.buffer.data(), m_loaded);
    if (needsDecoding(loaded)) {
        if (!load(kMaxContentBytes))
            return std::nullopt;
        decodeToUtf8(std::string_view(m_scratch.buffer.data(), m_loaded), m_scratch.limits.maxTextBytes, m_scratch.text);
        m_extracted = true;
        return std::string_view(m_scratch.text);
    }
    if (std::memchr(loaded.data(), 0, std::min(m_loaded, kBinaryProbeBytes)) != nullptr) {
        m_isText = false;
        return std::nullopt;
    }
    m_isText = true;
    return loaded;
}

std::optional<std::string_view> FileView::extractedText(TextFormat format)
{
    if (!m_extracted) {
        const ExtractionLimits &limits = m_scratch.limits;
        const std::size_t known = size() ? std::size_t(std::max<qint64>(*size(), 0)) : limits.maxInputBytes;
        // One byte past the limit tells a file that is too large from one that fits.
        const std::size_t wanted = std::min(known, limits.maxInputBytes) + 1;
        if (!load(wanted)) {
            m_extractionProblem = QStringLiteral("unreadable");
            m_extracted = false;
        } else {
            m_extracted =
                extractText(format, std::string_view(m_scratch.buffer.data(), m_loaded), limits, m_scratch.text, &m_extractionProblem);
        }
    }
    if (!*m_extracted)
        return std::nullopt;
    return std::string_view(m_scratch.text);
}

// Reads until `wanted` bytes are in the scratch buffer or the file ends. False when
// the file cannot be opened or read: it then has no content at all.
bool FileView::load(std::size_t wanted)
{
    if (m_openFailed)
        return false;
    if (m_fd < 0) {
        // Never block on a FIFO that a race put in place of the file, never follow a
        // link swapped in.
        m_fd = ::openat(m_directoryFd, m_nameData, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
        if (m_fd < 0) {
            m_openFailed = true;
            m_vanished = errno == ENOENT;
            return false;
        }
    }
    std::vector<char> &buffer = m_scratch.buffer;
    if (buffer.size() < wanted)
        buffer.resize(wanted);
    const std::size_t known = m_size ? std::size_t(std::max<qint64>(*m_size, 0)) : wanted;
    // A file that grows while it is read is read as it was when listed.
    const std::size_t end = std::min(wanted, known);
    while (!m_atEnd && m_loaded < wanted) {
        // With the size known, the read that would only report the end is skipped.
        if (m_size && m_loaded >= known) {
            m_atEnd = true;
            break;
        }
        const ssize_t got = ::read(m_fd, buffer.data() + m_loaded, end - m_loaded);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_openFailed = true;
            return false;
        }
        if (got == 0)
            m_atEnd = true;
        m_loaded += std::size_t(got);
    }
    return true;
}

} // namespace wendle::search
