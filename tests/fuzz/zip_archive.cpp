// ExtractArchive on an archive file holding the input, into a fresh directory. For any input:
// the result is one of the three codes, nothing is written beside the target directory, a refused
// archive writes nothing, no symbolic link is made, and a completely extracted archive packs
// again into an archive that extracts completely too. Read in memory (ReadArchive), the input is
// refused exactly when the extraction refuses it and is complete only when the extraction is;
// the entries it keeps, copied into a new archive as the package writer carries them over, read
// back completely with the same names and data.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "platform/files.h"
#include "store/zip_archive.h"

using fuzz::ProgramPath;
namespace fs = std::filesystem;

namespace {

// The regular files below `dir`; false when anything else than files and folders is there.
bool CountFiles(const fs::path& dir, size_t& files) {
    files = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_symlink()) return false;
        if (it->is_regular_file()) ++files;
        else if (!it->is_directory()) return false;
    }
    return !ec;
}

void CheckReadInMemory(const ByteBuffer& input, int extracted) {
    std::vector<ArchiveEntry> kept;
    const ArchiveRead read = ReadArchive(input, kept);
    FUZZ_CHECK((read == ArchiveRead::Refused) == (extracted == kExtractRefused));
    if (read != ArchiveRead::Complete) FUZZ_CHECK(extracted != kExtractDone);
    ZipWriter zip;
    for (const ArchiveEntry& e : kept) FUZZ_CHECK(CopyArchiveEntry(zip, e));
    std::vector<ArchiveEntry> copied;
    FUZZ_CHECK(ReadArchive(zip.Finish(), copied) == ArchiveRead::Complete);
    FUZZ_CHECK(copied.size() == kept.size());
    for (size_t i = 0; i < kept.size(); ++i) {
        FUZZ_CHECK(copied[i].entry.rawName == kept[i].entry.rawName);
        FUZZ_CHECK(copied[i].entry.name == kept[i].entry.name);
        FUZZ_CHECK(copied[i].data == kept[i].data);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::TempDir temp;
    const fs::path archive = temp.path() / "input.zip";
    const fs::path outer = temp.path() / "out";
    const fs::path target = outer / "target";
    FUZZ_CHECK(platform::WriteWholeFile(ProgramPath(archive), ByteBuffer(reinterpret_cast<const char*>(data), size)));

    const int result = ExtractArchive(ProgramPath(archive), ProgramPath(target));
    FUZZ_CHECK(result == kExtractDone || result == kExtractRefused || result == kExtractEntryFailed);
    CheckReadInMemory(ByteBuffer(reinterpret_cast<const char*>(data), size), result);
    // Confined: the temporary directory still holds the archive and "out" only, "out" the target.
    FUZZ_CHECK(fuzz::EntryCount(temp.path()) == 2);
    FUZZ_CHECK(fuzz::EntryCount(outer) == 1);
    if (result == kExtractRefused) FUZZ_CHECK(fuzz::EntryCount(target) == 0);
    size_t files = 0;
    FUZZ_CHECK(CountFiles(target, files));
    if (result != kExtractDone) return 0;

    const fs::path repacked = temp.path() / "repacked.zip";
    const fs::path again = temp.path() / "again";
    FUZZ_CHECK(CompressDirectory(ProgramPath(target), ProgramPath(repacked)) == kCompressDone);
    FUZZ_CHECK(ExtractArchive(ProgramPath(repacked), ProgramPath(again)) == kExtractDone);
    size_t filesAgain = 0;
    FUZZ_CHECK(CountFiles(again, filesAgain));
    FUZZ_CHECK(filesAgain == files);
    return 0;
}
