#include "decode/bitmap_pack.h"

#include <cstring>

#include "decode/decode_thread.h"
#include "log/log.h"

namespace dl {

WORD DepthClass(WORD planes, WORD bitsPerPixel) {
  const WORD depth = static_cast<WORD>(planes * bitsPerPixel);
  if (depth == 1) return 1;
  if (depth <= 4) return 4;
  if (depth <= 8) return 8;
  if (depth <= 16) return 16;
  if (depth <= 24) return 24;
  return 32;
}

DWORD BmpInfoSize(WORD depthClass) {
  return depthClass <= 16 ? sizeof(BITMAPINFOHEADER) + 4u * (1u << depthClass) : sizeof(BITMAPINFOHEADER);
}

ULONGLONG PixelBytes(WORD depthClass, LONG width, LONG height) {
  if (width <= 0 || height <= 0) return ~0ull;
  const ULONGLONG rowBytes = ((static_cast<ULONGLONG>(depthClass) * static_cast<ULONGLONG>(width) + 31) & ~31ull) / 8;
  return rowBytes * static_cast<ULONGLONG>(height);
}

HRESULT GetBitmapInfo(HBITMAP bitmap, BITMAPINFOHEADER* header, DWORD* bmpInfoSize) {
  BITMAP description{};
  if (GetObjectW(bitmap, sizeof description, &description) == 0) return E_FAIL;
  const WORD n = DepthClass(description.bmPlanes, description.bmBitsPixel);
  *bmpInfoSize = BmpInfoSize(n);
  std::memset(header, 0, sizeof *header);
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = description.bmWidth;
  header->biHeight = description.bmHeight;
  header->biPlanes = description.bmPlanes;
  header->biBitCount = description.bmBitsPixel;
  header->biCompression = BI_RGB;
  if (n < 24) header->biClrUsed = 1u << n;
  const ULONGLONG pixelBytes = PixelBytes(n, description.bmWidth, description.bmHeight);
  // A size beyond 32 bits stays beyond any bound the caller checks.
  header->biSizeImage = pixelBytes < 0xFFFFFFFFull ? static_cast<DWORD>(pixelBytes) : 0xFFFFFFFFu;
  return S_OK;
}

DWORD PackedFrameLength(const BITMAPINFOHEADER& header) {
  const DWORD colourTable = BmpInfoSize(DepthClass(header.biPlanes, header.biBitCount)) - sizeof(BITMAPINFOHEADER);
  return header.biSize + colourTable + header.biSizeImage;
}

HRESULT CDecodeThread::GetBitmapBits(HBITMAP bitmap, BYTE* buffer) {
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(buffer);
  DWORD bmpInfoSize = 0;
  const HRESULT hr = GetBitmapInfo(bitmap, header, &bmpInfoSize);
  if (FAILED(hr) || bmpInfoSize == 0) {
    DL_ERROR("CDecodeThread::GetBitmapBits", "GetBitmapInfo failed hr = 0x%08X dwBmpInfoSize = %d",
             static_cast<unsigned>(hr), static_cast<int>(bmpInfoSize));
    return E_FAIL;
  }
  if (static_cast<ULONGLONG>(bmpInfoSize) + header->biSizeImage > kVideoFrameBytes) return E_FAIL;
  if (bmpInfoSize == BmpInfoSize(16)) {
    // GetDIBits sets no colour table here; stale bytes must not reach the device.
    std::memset(buffer + sizeof(BITMAPINFOHEADER), 0, bmpInfoSize - sizeof(BITMAPINFOHEADER));
  }
  if (GetDIBits(memoryDc_, bitmap, 0, static_cast<WORD>(header->biHeight), buffer + bmpInfoSize,
                reinterpret_cast<BITMAPINFO*>(buffer), DIB_RGB_COLORS) == 0) {
    DL_ERROR("CDecodeThread::GetBitmapBits", "GetDIBits failed %d", static_cast<int>(GetLastError()));
    return E_FAIL;
  }
  return S_OK;
}

}  // namespace dl
