#include "winui/bitmap.h"

#include <cstdint>
#include <vector>

namespace winui {
namespace {

struct Share {
  int source;     // source pixel
  double weight;  // the part of the new pixel it covers
};

// For each of `to` new pixels along one axis, the source pixels of the `from`
// it covers and their weights (which add up to 1).
std::vector<std::vector<Share>> Shares(int from, int to) {
  std::vector<std::vector<Share>> shares(static_cast<size_t>(to));
  const double step = static_cast<double>(from) / to;
  for (int t = 0; t < to; ++t) {
    const double begin = t * step, end = begin + step;
    for (int s = static_cast<int>(begin); s < from && s < end; ++s) {
      double covered = (s + 1 < end ? s + 1 : end) - (s > begin ? s : begin);
      if (covered > 0) shares[static_cast<size_t>(t)].push_back({s, covered / step});
    }
  }
  return shares;
}

BITMAPINFO TopDownInfo(int width, int height, WORD bitCount) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = bitCount;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

}  // namespace

HBITMAP ScaleBitmap(HBITMAP source, int width, int height) {
  BITMAP sourceInfo = {};
  if (width <= 0 || height <= 0 || GetObjectA(source, sizeof(sourceInfo), &sourceInfo) == 0) {
    return nullptr;
  }
  const int sourceWidth = sourceInfo.bmWidth;
  const int sourceHeight = sourceInfo.bmHeight < 0 ? -sourceInfo.bmHeight : sourceInfo.bmHeight;
  if (sourceWidth <= 0 || sourceHeight <= 0) return nullptr;

  // The source as 32-bit pixels (blue, green, red, unused), top row first.
  std::vector<uint8_t> pixels(static_cast<size_t>(sourceWidth) * sourceHeight * 4);
  BITMAPINFO readInfo = TopDownInfo(sourceWidth, sourceHeight, 32);
  HDC screen = GetDC(nullptr);
  int rows = GetDIBits(screen, source, 0, static_cast<UINT>(sourceHeight), pixels.data(),
                       &readInfo, DIB_RGB_COLORS);
  BITMAPINFO targetInfo = TopDownInfo(width, height, 24);
  void* bits = nullptr;
  HBITMAP target = rows == sourceHeight ? CreateDIBSection(screen, &targetInfo, DIB_RGB_COLORS,
                                                           &bits, nullptr, 0)
                                        : nullptr;
  ReleaseDC(nullptr, screen);
  if (target == nullptr || bits == nullptr) {
    if (target != nullptr) DeleteObject(target);
    return nullptr;
  }

  // Across first (every source row to the new width), then down.
  const auto across = Shares(sourceWidth, width);
  const auto down = Shares(sourceHeight, height);
  std::vector<double> narrowed(static_cast<size_t>(sourceHeight) * width * 3);
  for (int y = 0; y < sourceHeight; ++y) {
    for (int x = 0; x < width; ++x) {
      double* out = &narrowed[(static_cast<size_t>(y) * width + x) * 3];
      for (const Share& share : across[static_cast<size_t>(x)]) {
        const uint8_t* in = &pixels[(static_cast<size_t>(y) * sourceWidth + share.source) * 4];
        for (int c = 0; c < 3; ++c) out[c] += in[c] * share.weight;
      }
    }
  }
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  auto* row = static_cast<uint8_t*>(bits);
  for (int y = 0; y < height; ++y, row += stride) {
    for (int x = 0; x < width; ++x) {
      double sum[3] = {};
      for (const Share& share : down[static_cast<size_t>(y)]) {
        const double* in = &narrowed[(static_cast<size_t>(share.source) * width + x) * 3];
        for (int c = 0; c < 3; ++c) sum[c] += in[c] * share.weight;
      }
      for (int c = 0; c < 3; ++c) {
        double value = sum[c] + 0.5;
        row[x * 3 + c] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
  return target;
}

int ScaleToScreen(int pixelsAt96) {
  HDC screen = GetDC(nullptr);
  int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return MulDiv(pixelsAt96, dpi > 0 ? dpi : 96, 96);
}

}  // namespace winui
