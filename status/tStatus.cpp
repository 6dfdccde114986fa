#include "status/tStatus.h"

#include <cstring>

namespace nZU7461_14_0 {

namespace {

constexpr std::size_t kComponentMaxChars = kStatusComponentSize - 1;
constexpr std::size_t kFileMaxChars = kStatusFileSize - 1;
// A long file keeps its head and its tail: the tail carries the file name, the head the root.
constexpr std::size_t kFileKeptPart = 49;
// Where the end of a caller's file text is looked for: beyond any path a system allows.
constexpr std::size_t kFileScanLimit = 32768;

void storeComponent(tStatus* a_pStatus, const char* a_pComponent) {
    std::memset(a_pStatus->component, 0, sizeof a_pStatus->component);
    if (a_pComponent != nullptr) {
        std::memcpy(a_pStatus->component, a_pComponent, strnlen(a_pComponent, kComponentMaxChars));
    }
}

// Reads at most a_MaxLength bytes of a_pFile: a record filled by someone else may lack its zero.
void storeFile(tStatus* a_pStatus, const char* a_pFile, std::size_t a_MaxLength) {
    std::memset(a_pStatus->file, 0, sizeof a_pStatus->file);
    if (a_pFile == nullptr) {
        return;
    }
    const std::size_t l_Length = strnlen(a_pFile, a_MaxLength);
    if (l_Length <= kFileMaxChars) {
        std::memcpy(a_pStatus->file, a_pFile, l_Length);
        return;
    }
    std::memcpy(a_pStatus->file, a_pFile, kFileKeptPart);
    std::memcpy(a_pStatus->file + kFileKeptPart, "..", 2);
    std::memcpy(a_pStatus->file + kFileKeptPart + 2, a_pFile + l_Length - kFileKeptPart,
                kFileKeptPart);
}

bool storeStatus(tStatus* a_pStatus, std::int32_t a_Code, const char* a_pComponent,
                 const char* a_pFile, std::size_t a_FileMaxLength, std::uint32_t a_Line) {
    if (a_pStatus == nullptr || !statusCodeReplaces(a_pStatus->code, a_Code)) {
        return false;
    }
    a_pStatus->code = a_Code;
    if (a_Code == 0 || a_pStatus->structureSize < kStatusFullSize) {
        return true;
    }
    storeComponent(a_pStatus, a_pComponent);
    storeFile(a_pStatus, a_pFile, a_FileMaxLength);
    a_pStatus->line = a_Line;
    a_pStatus->extension[0] = 0;
    return true;
}

} // namespace

bool setStatus(tStatus* a_pStatus, std::int32_t a_Code, const char* a_pComponent,
               const char* a_pFile, std::uint32_t a_Line) {
    return storeStatus(a_pStatus, a_Code, a_pComponent, a_pFile, kFileScanLimit, a_Line);
}

bool mergeStatus(tStatus* a_pTarget, const tStatus* a_pSource) {
    if (a_pTarget == nullptr || a_pSource == nullptr) {
        return false;
    }
    const bool l_SourceFull = a_pSource->structureSize >= kStatusFullSize;
    // The source's file is read no further than its own storage.
    if (!storeStatus(a_pTarget, a_pSource->code, l_SourceFull ? a_pSource->component : "",
                     l_SourceFull ? a_pSource->file : "", kStatusFileSize,
                     l_SourceFull ? a_pSource->line : 0)) {
        return false;
    }
    if (l_SourceFull && a_pTarget->structureSize >= kStatusFullSize) {
        for (std::size_t l_Word = 0; l_Word < kStatusExtensionWords; ++l_Word) {
            a_pTarget->extension[l_Word] = a_pSource->extension[l_Word];
            if (a_pSource->extension[l_Word] == 0) {
                break;
            }
        }
    }
    return true;
}

} // namespace nZU7461_14_0
