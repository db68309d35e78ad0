// Fuzz target: a response body read as a zip archive, every entry named and extracted, as the
// response handling does with whatever the depository sends.
#include "retrieval/ZipFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    TZipFile archive;
    archive.ReadArchive(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (int i = 0; i < archive.EntryCount(); ++i) {
        const QByteArray name = archive.EntryName(i);
        try {
            const QByteArray content = archive.ExtractEntry(i);
            // Sizes come from the header; what comes out must match what it claims.
            if (content.size() != qsizetype(archive.entries().at(i).uncompressedSize))
                __builtin_trap();
        } catch (const Exception &) {
            // A damaged entry is reported to the caller, which is the expected outcome.
        }
    }
    return 0;
}
