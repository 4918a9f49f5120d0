// Creating what a save writes, one folder at a time and never through a
// link: every folder is opened relative to its parent and refused when it is
// a symbolic link (or any reparse point), files are created new (never
// opened when something of that name exists), so nothing a backup or a
// planted link says can reach outside the output root.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "base/file_time.h"
#include "base/status.h"

namespace bkf {

struct FsError {
    int code = 0;           // errno-style code, 0 for none
    std::string reason;     // the system's text
    bool exists = false;    // something of that name is already there (or is a link)
    bool diskFull = false;  // no space left on the device (or quota exceeded)
    bool ok() const { return code == 0 && reason.empty(); }
};

class OutputFile {
public:
    virtual ~OutputFile() = default;
    // Writes all of `bytes`; on failure the error says why.
    virtual FsError write(std::span<const std::uint8_t> bytes) = 0;
    // Sets the times; a time of 0 (none known) is left as it is. The creation
    // time only where the platform keeps one that can be set.
    virtual FsError setTimes(FileTime modified, FileTime accessed, FileTime created) = 0;
    // Closes the file; a late write error shows here.
    virtual FsError close() = 0;
};

class OutputDir {
public:
    virtual ~OutputDir() = default;
    // Creates (or, when `mayExist`, also opens an existing) folder `name` in
    // this one. A link, or anything that is not a real folder, gives an error
    // with `exists` set, so the caller can choose another name.
    virtual Result<std::unique_ptr<OutputDir>, FsError> makeDir(const std::u16string& name, bool mayExist) = 0;
    // Creates a new file `name`; `exists` when anything of that name is there.
    virtual Result<std::unique_ptr<OutputFile>, FsError> createFile(const std::u16string& name) = 0;
    // Removes a file this save created (a cancelled or failed one).
    virtual void removeFile(const std::u16string& name) = 0;
    virtual const std::filesystem::path& path() const = 0;
};

// Opens the folder the user chose (it may itself be reached through a link).
Result<std::unique_ptr<OutputDir>, FsError> openOutputRoot(const std::filesystem::path& folder);

}  // namespace bkf
