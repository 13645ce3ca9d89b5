// Local file helpers of tarnftp: temporary files, base names, copying a file
// to standard output.
#pragma once

#include <cstdint>
#include <string>

// A file made with mkstemp, removed by the destructor unless kept.
class TTempFile {
public:
    // Folder: where to make it ($TMPDIR or /tmp when empty); Stem starts the
    // name. Ok() tells whether it was made; Error() why not.
    TTempFile(const std::string& Folder, const std::string& Stem);
    ~TTempFile();
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;

    bool Ok() const { return !FPath.empty(); }
    const std::string& Path() const { return FPath; }
    const std::string& Error() const { return FError; }
    // Moves the file to Target (replacing it); the file is then no longer
    // removed. False with Error() on failure.
    bool MoveTo(const std::string& Target);

private:
    std::string FPath;
    std::string FError;
};

// The part after the last "/" ("" for "dir/").
std::string BaseName(const std::string& Path);
// The part before the last "/" ("." when there is none).
std::string FolderOf(const std::string& Path);
// Size of a regular file, -1 when it is missing or not a regular file.
std::int64_t RegularFileSize(const std::string& Path);
bool IsFolder(const std::string& Path);
bool Exists(const std::string& Path);
// Checks that Path can be opened for reading as a regular file; Error holds
// the reason when not.
bool CheckReadable(const std::string& Path, std::string& Error);
// Copies the whole file to standard output (bytes unchanged).
bool CopyToStdout(const std::string& Path, std::string& Error);
