// The picture catalogue reader on any text, and the lookups made of what it read.
// A Rotate or Compress value that is not a truth value is the catalogue's one defined error.
#include "main/PictureCatalogue.h"
#include "platform/exceptions.h"
#include "tests/fuzz/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto lines = hv::fuzz::Lines(hv::fuzz::Text(data, size));
    hv::TPictureCatalogue catalogue;
    try {
        hv::ReadTexturesLua(lines, catalogue);
    } catch (const hv::EConvertError&) {
    }
    for (size_t i = 0; i < lines.size() && i < 64; ++i) {
        try {
            const hv::tTexSurface entry = hv::ReadCatalogueLine(lines[i], int(i) + 1);
            hv::CatalogueTextureFile(entry);
        } catch (const hv::EConvertError&) {
        }
        hv::FindCatalogueEntry(catalogue, lines[i]);
    }
    return 0;
}
