// SPDX-License-Identifier: MIT
#include "picture/picture_api.h"

#include <stdexcept>
#include <string>

#if !defined(_WIN32)
#include "platform/process.h"
#endif

namespace orvel {

namespace {

struct LoadedPictureApi {
    PictureApi api;
    std::string error; // empty when every function resolved
};

#define KESTRONE_TEXT_OF(x) #x
#define KESTRONE_TEXT(x) KESTRONE_TEXT_OF(x)

#if defined(_WIN32)
// Windows links both libraries into the program: the table is their addresses.
LoadedPictureApi load()
{
    LoadedPictureApi loaded;
#define KESTRONE_PICTURE_LINKED(library, name) loaded.api.name = &::name;
    KESTRONE_PICTURE_FUNCTIONS(KESTRONE_PICTURE_LINKED)
#undef KESTRONE_PICTURE_LINKED
    return loaded;
}
#else
// The sonames of the majors this build was compiled against. Like FFmpeg's,
// the libraries are never closed again once loaded.
LoadedPictureApi load()
{
    LoadedPictureApi loaded;
    const std::string cairoName = "libcairo.so.2";
    const std::string pngName =
        "libpng" KESTRONE_TEXT(PNG_LIBPNG_VER_DLLNUM) ".so." KESTRONE_TEXT(PNG_LIBPNG_VER_SONUM);
    std::string reason;
    void* const cairo = loadLibrary(cairoName, reason);
    if (cairo == nullptr) {
        loaded.error = "Pictures need cairo, but its library " + cairoName + " cannot be loaded (" + reason + ").";
        return loaded;
    }
    void* const png = loadLibrary(pngName, reason);
    if (png == nullptr) {
        loaded.error = "Pictures need libpng, but its library " + pngName + " cannot be loaded (" + reason + ").";
        return loaded;
    }
#define KESTRONE_PICTURE_RESOLVE(library, name)                                                     \
    loaded.api.name = reinterpret_cast<decltype(loaded.api.name)>(librarySymbol(library, #name));  \
    if (loaded.api.name == nullptr) {                                                              \
        loaded.error = "Pictures need " + (library == cairo ? cairoName : pngName) + " with its function " #name "."; \
        return loaded;                                                                             \
    }
    KESTRONE_PICTURE_FUNCTIONS(KESTRONE_PICTURE_RESOLVE)
#undef KESTRONE_PICTURE_RESOLVE
    return loaded;
}
#endif

} // namespace

const PictureApi& pictureApi()
{
    // Loaded exactly once, whichever thread draws first.
    static const LoadedPictureApi loaded = load();
    if (!loaded.error.empty()) {
        throw std::runtime_error(loaded.error);
    }
    return loaded.api;
}

} // namespace orvel
