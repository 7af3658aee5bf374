#include "platform/search/KindWords.h"

#include <QMimeType>

#include <algorithm>
#include <initializer_list>

namespace wendle::search {

namespace {

struct KindWord {
    const char *word;
    // MIME types; one ending in '/' or '.' stands for every type whose name starts so.
    std::initializer_list<const char *> types;
    // Whether types that inherit a listed one belong too. Not for archives: an
    // OpenDocument file inherits application/zip but nobody calls it an archive.
    bool withDescendants = true;
    // Leaves out descendants that inherit text/plain: a shell script inherits
    // application/x-executable, yet it is a script, not an application.
    bool withoutText = false;
};

// What a Linux user means by each kind word of the search's kind clauses.
// "clipping" has no counterpart here: Linux desktops keep no clipping files.
// A table, one row per line.
// clang-format off
const KindWord kKindWords[] = {
    {"document",
     {"application/pdf", "application/postscript", "application/rtf", "application/msword",
      "application/vnd.ms-excel", "application/vnd.ms-powerpoint", "application/vnd.ms-works",
      "application/vnd.oasis.opendocument.", "application/vnd.openxmlformats-officedocument.",
      "application/x-abiword", "application/vnd.wordperfect", "application/x-mswrite", "application/vnd.visio",
      "application/vnd.apple.pages", "application/vnd.apple.numbers", "application/vnd.apple.keynote",
      "text/html", "application/xhtml+xml", "text/markdown", "text/x-tex", "application/x-dvi",
      "image/vnd.djvu", "application/oxps", "application/vnd.ms-xpsdocument", "application/x-t602"}},
    {"publication",
     {"application/epub+zip", "application/x-mobipocket-ebook", "application/vnd.amazon.mobi8-ebook",
      "application/x-fictionbook+xml", "application/x-zip-compressed-fb2", "application/vnd.ms-publisher",
      "application/x-scribus", "application/vnd.comicbook+zip", "application/vnd.comicbook-rar",
      "application/x-cb7", "application/x-cbt", "application/x-ibooks+zip"}},
    {"text", {"text/plain"}},
    {"image", {"image/"}},
    {"tiff", {"image/tiff"}},
    {"emlx", {"message/", "application/mbox", "application/vnd.ms-outlook"}},
    {"archive",
     {"application/zip", "application/x-tar", "application/x-compressed-tar", "application/x-bzip-compressed-tar",
      "application/x-bzip2-compressed-tar", "application/x-xz-compressed-tar", "application/x-lzma-compressed-tar",
      "application/x-zstd-compressed-tar", "application/x-lzip-compressed-tar", "application/x-lz4-compressed-tar",
      "application/x-tarz", "application/x-7z-compressed", "application/vnd.rar", "application/gzip",
      "application/x-bzip", "application/x-bzip2", "application/x-xz", "application/zstd", "application/x-lzma",
      "application/x-lzip", "application/x-lz4", "application/x-compress", "application/x-cpio",
      "application/x-ace", "application/x-arj", "application/x-lha", "application/x-lzh-compressed",
      "application/x-stuffit", "application/x-archive", "application/x-java-archive",
      "application/vnd.debian.binary-package", "application/x-rpm"},
     false},
    {"disk image",
     {"application/x-raw-disk-image", "application/x-apple-diskimage", "application/x-qemu-disk",
      "application/x-vhd-disk", "application/x-vhdx-disk", "application/x-vmdk-disk", "application/x-virtualbox-vdi",
      "application/x-virtualbox-vhd", "application/x-virtualbox-vmdk", "application/x-virtualbox-qcow",
      "application/x-cue", "application/x-raw-disk-image-xz-compressed"}},
    {"application",
     {"application/x-executable", "application/x-pie-executable", "application/x-desktop",
      "application/vnd.appimage", "application/x-ms-dos-executable", "application/vnd.flatpak",
      "application/vnd.snap"},
     true, true},
    {"script",
     {"application/x-shellscript", "application/x-csh", "application/x-perl", "application/x-ruby",
      "text/x-python", "text/x-python3", "text/x-lua", "application/x-php", "text/x-tcl", "application/x-awk",
      "application/javascript", "text/javascript", "application/x-powershell"}},
    {"audio", {"audio/"}},
    {"video", {"video/"}},
    // On Linux a film is a video file like any other.
    {"movie", {"video/"}},
};
// clang-format on

// Aliases count for names only: application/pdf has the alias image/pdf, yet a
// PDF is no image.
bool isListed(const QString &name, const KindWord &kind, bool isAlias = false)
{
    return std::any_of(kind.types.begin(), kind.types.end(), [&](const char *listed) {
        const QLatin1String type(listed);
        if (type.endsWith(u'/') || type.endsWith(u'.'))
            return !isAlias && name.startsWith(type);
        return name == type;
    });
}

bool belongs(const QMimeType &type, const QStringList &ancestors, const KindWord &kind)
{
    if (isListed(type.name(), kind))
        return true;
    const QStringList aliases = type.aliases();
    if (std::any_of(aliases.begin(), aliases.end(), [&](const QString &alias) { return isListed(alias, kind, true); }))
        return true;
    if (kind.withoutText && ancestors.contains(QLatin1String("text/plain")))
        return false;
    return kind.withDescendants
           && std::any_of(ancestors.begin(), ancestors.end(), [&](const QString &ancestor) { return isListed(ancestor, kind); });
}

} // namespace

std::vector<std::string> kindWordsOf(const QMimeType &type)
{
    const QStringList ancestors = type.allAncestors();
    std::vector<std::string> words;
    for (const KindWord &kind : kKindWords) {
        if (belongs(type, ancestors, kind))
            words.emplace_back(kind.word);
    }
    // Mails, scripts, desktop entries and web pages are text files too, but nobody
    // looking for "text" means them: the more telling word wins.
    if (words.size() > 1)
        std::erase(words, std::string("text"));
    return words;
}

bool isKindWord(std::string_view word)
{
    return std::any_of(std::begin(kKindWords), std::end(kKindWords), [&](const KindWord &kind) { return word == kind.word; });
}

} // namespace wendle::search
