// The JPEG decoder and the packing against the platform's own decoder (GDI+ on
// Windows, run under Wine here). Plain C++: no test framework.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/bitmap_pack.h"
#include "decode/decode_thread.h"
#include "win_jpegs.h"

namespace {

int g_passed = 0, g_failed = 0;

void Check(bool ok, const char* what) {
  ok ? ++g_passed : ++g_failed;
  if (!ok) std::printf("FAILED: %s\n", what);
}

IStream* StreamOf(const unsigned char* bytes, ULONG size) {
  IStream* stream = nullptr;
  CreateStreamOnHGlobal(nullptr, TRUE, &stream);
  stream->Write(bytes, size, nullptr);  // left at its end, as the splitter leaves it
  return stream;
}

bool Near(int value, int expected) { return std::abs(value - expected) <= 4; }

void Picture(const char* name, const unsigned char* jpeg, ULONG size, LONG width, LONG height, WORD bits,
             const int (&pixel)[3]) {
  std::printf("%s\n", name);
  dl::CDecodeThread decode;  // for its memory device context; not started
  dl::JpegImage image;
  IStream* stream = StreamOf(jpeg, size);
  Check(image.Load(stream) == S_OK, "Load");
  stream->Release();
  if (image.IsNull()) return;
  std::vector<BYTE> buffer(dl::kVideoFrameBytes);
  Check(decode.GetBitmapBits(image.Bitmap(), buffer.data()) == S_OK, "GetBitmapBits");
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(buffer.data());
  Check(header->biWidth == width && header->biHeight == height, "size");
  Check(header->biBitCount == bits, "depth");
  const DWORD infoSize = dl::BmpInfoSize(bits);
  const DWORD stride = header->biSizeImage / static_cast<DWORD>(height);
  Check(dl::PackedFrameLength(*header) == infoSize + stride * height, "payload length");
  // A pixel in the middle, through the colour table when there is one.
  const BYTE* p = buffer.data() + infoSize + stride * (height / 2) + (width / 2) * (bits / 8);
  const BYTE* colour = bits == 8 ? buffer.data() + 40 + 4 * p[0] : p;
  Check(Near(colour[0], pixel[0]) && Near(colour[1], pixel[1]) && Near(colour[2], pixel[2]), "pixel");
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  Picture("baseline 4:4:4", kColour, sizeof kColour, 40, 24, 24, {50, 100, 200});
  Picture("progressive 4:2:0", kProgressive, sizeof kProgressive, 40, 24, 24, {50, 100, 200});
  Picture("greyscale", kGrey, sizeof kGrey, 33, 17, 8, {77, 77, 77});
  {
    dl::JpegImage image;
    const unsigned char junk[] = {0xFF, 0xD8, 0x00, 0x01, 0xFF, 0xD9};
    IStream* stream = StreamOf(junk, sizeof junk);
    Check(FAILED(image.Load(stream)) && image.IsNull(), "no picture");
    stream->Release();
  }
  CoUninitialize();
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
