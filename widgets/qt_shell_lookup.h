// The desktop program's answers to the catalogue's shell questions: type
// names from the extension through QMimeDatabase (never touching the disk),
// icons chosen from the MIME type among the icons the program ships, so that
// every platform shows the same.
#pragma once

#include <QIcon>
#include <QString>
#include <string>
#include <unordered_map>

#include "catalogue/shell_lookup.h"

namespace bkf::gui {

// Indexes of the shipped 16 x 16 icons (the catalogue's icon index).
enum ShellIcon : int {
    IconFile = 0,
    IconFolder = 1,
    IconFolderOpen = 2,
    IconText = 3,
    IconImage = 4,
    IconAudio = 5,
    IconVideo = 6,
    IconArchive = 7,
    IconDocument = 8,
    IconProgram = 9,
    IconApplication = 10,
    kShellIconCount = 11,
};

// The icon of an index (the plain file icon for an unknown index).
QIcon shellIcon(int index);
// The icon index for a MIME type name such as "text/plain".
int shellIconForMimeType(const QString& mimeTypeName);

class QtShellLookup final : public bkf::ShellLookup {
public:
    int shellFileIcon(std::u16string_view name) override;
    int shellFolderIcon() override { return IconFolder; }
    std::u16string_view shellTypeName(std::u16string_view name) override;

private:
    struct Answer {
        int icon = IconFile;
        std::u16string typeName;
    };
    // Cached by lower-case extension: a scan asks about the same few types
    // again and again.
    const Answer& lookup(std::u16string_view name);
    std::unordered_map<std::u16string, Answer> cache_;
    // The extension asked about last, as it stood, and its answer: a scan or
    // load asks twice a row, mostly about the extension of the row before.
    std::u16string lastExtension_;
    const Answer* lastAnswer_ = nullptr;
    std::u16string key_;
};

}  // namespace bkf::gui
