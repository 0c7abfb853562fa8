#include "screenshot.h"

#include <objidl.h>
// after objidl.h, which it needs
#include <gdiplus.h>

#include <set>
#include <vector>

namespace standin {
namespace {

// The PNG encoder's CLSID, fixed by GDI+.
constexpr CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

class GdiPlus {
 public:
  GdiPlus() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiPlus() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  bool ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

std::vector<DWORD> Pixels(HDC dc, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  if (!GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS)) pixels.clear();
  return pixels;
}

// At least three colours: a frame and its face alone make two, so a window
// whose controls and text were drawn has more.
bool HasContent(const std::vector<DWORD>& pixels) {
  std::set<DWORD> colours;
  for (DWORD pixel : pixels) {
    colours.insert(pixel & 0xFFFFFF);
    if (colours.size() >= 3) return true;
  }
  return false;
}

}  // namespace

bool SaveScreenshot(HWND window, const std::filesystem::path& file) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // What the screen shows at the window's place, once the window has drawn
  // itself: the same picture twice in a row.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  bool drawn = false;
  std::vector<DWORD> previous;
  for (int attempt = 0; attempt < 100 && !drawn; ++attempt) {
    Sleep(30);
    if (!BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY)) continue;
    std::vector<DWORD> pixels = Pixels(memory, bitmap, width, height);
    drawn = HasContent(pixels) && pixels == previous;
    previous = std::move(pixels);
  }
  SelectObject(memory, old);

  bool saved = false;
  {
    GdiPlus gdiplus;
    Gdiplus::GpBitmap* image = nullptr;
    if (drawn && gdiplus.ok() &&
        Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
      std::error_code error;
      std::filesystem::create_directories(file.parent_path(), error);
      saved =
          Gdiplus::DllExports::GdipSaveImageToFile(image, file.wstring().c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
      Gdiplus::DllExports::GdipDisposeImage(image);
    }
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return saved;
}

}  // namespace standin
