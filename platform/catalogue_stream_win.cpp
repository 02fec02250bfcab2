// The packed catalogue as the RCDATA resource of the running executable.
#include <windows.h>

#include "core/lang/catalogue_stream.h"
#include "res/resource.h"

CatalogueStream embedded_catalogue_stream() {
    // Resource memory is mapped with the image and needs no freeing.
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDR_CATALOGUE), RT_RCDATA);
    if (found == nullptr)
        return {nullptr, 0};
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return {nullptr, 0};
    return {static_cast<const uint8_t*>(data), static_cast<int32_t>(SizeofResource(module, found))};
}
