#include "widgets/qt_shell_lookup.h"

#include <QMimeDatabase>

#include <array>
#include "widgets/resources_init.h"

namespace bkf::gui {

namespace {

const std::array<const char*, kShellIconCount> kIconFiles = {
    ":/images/file.png",          ":/images/folder.png",       ":/images/folder_open.png", ":/images/file_text.png",
    ":/images/file_image.png",    ":/images/file_audio.png",   ":/images/file_video.png",  ":/images/file_archive.png",
    ":/images/file_document.png", ":/images/file_program.png", ":/images/app_16.png",
};

}  // namespace

QIcon shellIcon(int index) {
    initResources();
    if (index < 0 || index >= kShellIconCount) index = IconFile;
    return QIcon(QString::fromLatin1(kIconFiles[static_cast<std::size_t>(index)]));
}

int shellIconForMimeType(const QString& mimeTypeName) {
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForName(mimeTypeName);
    const QString generic = type.isValid() ? type.genericIconName() : QString();
    const QString top = mimeTypeName.section(QLatin1Char('/'), 0, 0);
    if (top == QLatin1String("image")) return IconImage;
    if (top == QLatin1String("audio")) return IconAudio;
    if (top == QLatin1String("video")) return IconVideo;
    if (generic == QLatin1String("package-x-generic")) return IconArchive;
    if (generic == QLatin1String("x-office-document") || generic == QLatin1String("x-office-spreadsheet") ||
        generic == QLatin1String("x-office-presentation") || mimeTypeName == QLatin1String("application/pdf"))
        return IconDocument;
    if (generic == QLatin1String("application-x-executable") ||
        mimeTypeName == QLatin1String("application/x-ms-dos-executable") ||
        mimeTypeName == QLatin1String("application/x-msdownload") || mimeTypeName == QLatin1String("application/x-msi"))
        return IconProgram;
    if (top == QLatin1String("text") || generic == QLatin1String("text-x-generic") ||
        generic == QLatin1String("text-x-script") || type.inherits(QStringLiteral("text/plain")))
        return IconText;
    return IconFile;
}

const QtShellLookup::Answer& QtShellLookup::lookup(std::u16string_view name) {
    const std::u16string_view rawExtension = bkf::fileExtension(name);
    if (lastAnswer_ && rawExtension == lastExtension_) return *lastAnswer_;
    lastExtension_.assign(rawExtension);
    // The cache's key is the extension in lower case; ASCII needs no QString.
    key_.clear();
    for (const char16_t c : rawExtension) {
        if (c >= 0x80) {
            key_.clear();
            break;
        }
        key_.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
    }
    if (key_.size() != rawExtension.size()) {
        key_ = QString::fromUtf16(rawExtension.data(), static_cast<qsizetype>(rawExtension.size()))
                   .toLower()
                   .toStdU16String();
    }
    if (auto it = cache_.find(key_); it != cache_.end()) return *(lastAnswer_ = &it->second);
    const std::u16string key = key_;
    const QString ext = QString::fromStdU16String(key);

    const QMimeDatabase db;
    // Only the extension counts, so ask about a stand-in name: the result is
    // the same for every name with this extension.
    const QString probe = ext.isEmpty() ? QStringLiteral("file") : QStringLiteral("file.") + ext;
    const QMimeType type = db.mimeTypeForFile(probe, QMimeDatabase::MatchExtension);
    Answer answer;
    answer.icon = shellIconForMimeType(type.name());
    answer.typeName = type.comment().toStdU16String();
    if (answer.typeName.empty()) answer.typeName = u"File";
    return *(lastAnswer_ = &cache_.emplace(key, std::move(answer)).first->second);
}

int QtShellLookup::shellFileIcon(std::u16string_view name) {
    return lookup(name).icon;
}

std::u16string_view QtShellLookup::shellTypeName(std::u16string_view name) {
    return lookup(name).typeName;
}

}  // namespace bkf::gui
