// DPI lookups, icons and the banner at the window's DPI.
#include "win/dpi.h"

#include <map>

#include "platform/win32_handles.h"
#include "win/banner.h"

namespace {

struct BitmapKind {
    using Type = HBITMAP;
    static Type none() { return nullptr; }
    static void close(Type bitmap) { DeleteObject(bitmap); }
};
using Bitmap = Owned<BitmapKind>;

template <typename Function> Function user32_function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

UINT screen_dpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

// The bitmap resource's pixels, read once per resource.
const Picture& resource_picture(HINSTANCE instance, int id) {
    static std::map<int, Picture> pictures;
    const auto found = pictures.find(id);
    if (found != pictures.end())
        return found->second;
    Picture& picture = pictures[id];
    const Bitmap bitmap(static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    BITMAP info = {};
    if (!bitmap || GetObjectW(bitmap.get(), sizeof info, &info) == 0)
        return picture;
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = info.bmWidth;
    format.bmiHeader.biHeight = -info.bmHeight; // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap.get(), 0, static_cast<UINT>(info.bmHeight), pixels.data(),
                               &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows == info.bmHeight) {
        for (uint32_t& pixel : pixels)
            pixel &= 0xFFFFFF;
        picture = {info.bmWidth, info.bmHeight, std::move(pixels)};
    }
    return picture;
}

// A 24-bit bitmap of the picture (a 32-bit one could be taken for one with an alpha channel).
HBITMAP make_bitmap(const Picture& picture) {
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = picture.width;
    format.bmiHeader.biHeight = -picture.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr || bits == nullptr)
        return bitmap;
    const size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) & ~size_t{3};
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(bits) + stride * static_cast<size_t>(y);
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t pixel = picture.pixels[static_cast<size_t>(y) * picture.width + x];
            row[3 * x] = static_cast<uint8_t>(pixel);
            row[3 * x + 1] = static_cast<uint8_t>(pixel >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(pixel >> 16);
        }
    }
    return bitmap;
}

} // namespace

UINT window_dpi(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto get_dpi_for_window = user32_function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (get_dpi_for_window != nullptr && window != nullptr)
        if (const UINT dpi = get_dpi_for_window(window); dpi != 0)
            return dpi;
    return screen_dpi();
}

int at_dpi(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), 96); }

int metric_at_dpi(int index, UINT dpi) {
    using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto for_dpi = user32_function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    if (for_dpi != nullptr)
        return for_dpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), static_cast<int>(dpi), static_cast<int>(screen_dpi()));
}

HICON load_icon_at_dpi(HINSTANCE instance, int id, bool small, UINT dpi) {
    const int width = metric_at_dpi(small ? SM_CXSMICON : SM_CXICON, dpi);
    const int height = metric_at_dpi(small ? SM_CYSMICON : SM_CYICON, dpi);
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, 0));
}

void fit_bitmap_to_control(HWND control, HINSTANCE instance, int id) {
    RECT area = {};
    if (control == nullptr || !GetClientRect(control, &area))
        return;
    const Picture scaled = scale_to_height(resource_picture(instance, id), area.right, area.bottom);
    if (scaled.pixels.empty())
        return;
    HBITMAP bitmap = make_bitmap(scaled);
    if (bitmap == nullptr)
        return;
    if (HGDIOBJ previous = reinterpret_cast<HGDIOBJ>(
            SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap))))
        DeleteObject(previous);
}
