#include "sites/SiteFile.h"

#include "base/Strings.h"
#include "platform/Folders.h"
#include "platform/RecordFile.h"

using platform::TRecordFile;

namespace {

void RequireWholeRecord(const TRecordFile& file) {
    if (file.FileSize() == 0)
        throw EInOutError(Format("The site file %s holds no complete record (%lld bytes); it was left as it is.",
                                 file.Path().c_str(), static_cast<long long>(file.ByteSize())));
}

}  // namespace

bool TSiteFile::Exists() const { return platform::FileExists(Path); }

void TSiteFile::Create() {
    TRecordFile file(Path, TSiteRecord::kSize);
    file.Rewrite(0600);
    SiteBuffer.MakeBlank();
    for (int i = 0; i < kCreatedRecords; ++i) file.Write(SiteBuffer.Bytes.data());
    file.Close();
}

std::int64_t TSiteFile::LoadAll(const std::function<void(const TSiteRecord&)>& each) {
    TRecordFile file(Path, TSiteRecord::kSize);
    file.Reset();
    RequireWholeRecord(file);
    bool end = false;
    do {
        file.Read(SiteBuffer.Bytes.data());
        end = file.Eof();
        if (!SiteBuffer.IsFree()) each(SiteBuffer);
    } while (!end);
    const std::int64_t stray = file.ByteSize() % static_cast<std::int64_t>(TSiteRecord::kSize);
    file.Close();
    return stray;
}

int TSiteFile::FindByName(const std::string& name) {
    TRecordFile file(Path, TSiteRecord::kSize);
    file.Reset();
    RequireWholeRecord(file);
    for (;;) {
        file.Read(SiteBuffer.Bytes.data());
        if (file.Eof()) return -1;
        if (SiteBuffer.Name() == name) return static_cast<int>(file.FilePos() - 1);
    }
}

TSiteFile::TFreeResult TSiteFile::FindFreeRecord(const std::string& name, int& index) {
    TRecordFile file(Path, TSiteRecord::kSize);
    file.Reset();
    RequireWholeRecord(file);
    const std::string wanted = Trim(UpperCase(name));
    for (;;) {
        file.Read(SiteBuffer.Bytes.data());
        if (file.Eof()) return frFull;
        if (SiteBuffer.IsFree()) {
            index = static_cast<int>(file.FilePos() - 1);
            return frFree;
        }
        if (Trim(UpperCase(SiteBuffer.Name())) == wanted) return frDuplicate;
    }
}

void TSiteFile::WriteRecord(int index) {
    TRecordFile file(Path, TSiteRecord::kSize);
    file.Reset();
    file.Seek(index);
    file.Write(SiteBuffer.Bytes.data());
    file.Close();
}
