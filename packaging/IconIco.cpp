// Writes icon 128 as a Windows .ico file with the sizes Windows shows (16, 32, 48 and 256
// pixels), from the same XPM pictures the program draws, so that Explorer, the task bar and
// the Start menu show the program's own icon. 16 and 32 are the drawn pictures; 48 and 256 are
// the 32-pixel one scaled up pixel by pixel. It runs on the build host, also in a cross build,
// and needs nothing but the standard library. Usage: kivofs-icon-ico <output.ico>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "res/LauncherPictures.h"

namespace {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
};

struct Picture {
  int size = 0;
  std::vector<Rgba> pixels;  // rows top to bottom
};

int HexValue(const std::string& text, std::size_t at) { return std::stoi(text.substr(at, 2), nullptr, 16); }

// The icon's XPM: one character per pixel, colours "#RRGGBB" or "None" (clear).
bool DecodeXpm(const char* const* xpm, Picture& picture) {
  int width = 0, height = 0, colours = 0, perPixel = 0;
  std::istringstream(xpm[0]) >> width >> height >> colours >> perPixel;
  if (width != height || width <= 0 || perPixel != 1) return false;
  std::map<char, Rgba> palette;
  for (int i = 1; i <= colours; ++i) {
    const std::string line = xpm[i];
    const std::size_t value = line.find(" c ");
    if (line.empty() || value == std::string::npos) return false;
    const std::string colour = line.substr(value + 3);
    if (colour == "None") {
      palette[line[0]] = Rgba{};
    } else if (colour.size() == 7 && colour[0] == '#') {
      palette[line[0]] = Rgba{static_cast<std::uint8_t>(HexValue(colour, 1)), static_cast<std::uint8_t>(HexValue(colour, 3)),
                              static_cast<std::uint8_t>(HexValue(colour, 5)), 255};
    } else {
      return false;
    }
  }
  picture.size = width;
  for (int y = 0; y < height; ++y) {
    const std::string row = xpm[1 + colours + y];
    if (static_cast<int>(row.size()) != width) return false;
    for (char c : row) {
      if (!palette.count(c)) return false;
      picture.pixels.push_back(palette[c]);
    }
  }
  return true;
}

Picture Scaled(const Picture& from, int size) {
  Picture to{size, {}};
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      to.pixels.push_back(from.pixels[static_cast<std::size_t>(y * from.size / size * from.size + x * from.size / size)]);
    }
  }
  return to;
}

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, value & 0xFFFFu);
  Put16(out, value >> 16);
}

// One image of the file: a 32-bit bitmap (header, colour rows, then the 1-bit mask rows, both
// bottom up), as every Windows version reads it.
std::vector<std::uint8_t> IconImage(const Picture& picture) {
  const auto size = static_cast<std::uint32_t>(picture.size);
  const std::uint32_t maskStride = (size + 31) / 32 * 4;
  std::vector<std::uint8_t> image;
  Put32(image, 40);        // header size
  Put32(image, size);      // width
  Put32(image, size * 2);  // height of colour and mask together
  Put16(image, 1);         // planes
  Put16(image, 32);        // bits per pixel
  Put32(image, 0);         // uncompressed
  Put32(image, size * size * 4 + maskStride * size);
  for (int i = 0; i < 4; ++i) Put32(image, 0);  // resolution and palette: none
  for (int y = picture.size - 1; y >= 0; --y) {
    for (int x = 0; x < picture.size; ++x) {
      const Rgba& p = picture.pixels[static_cast<std::size_t>(y * picture.size + x)];
      image.insert(image.end(), {p.b, p.g, p.r, p.a});
    }
  }
  for (int y = picture.size - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(maskStride, 0);
    for (int x = 0; x < picture.size; ++x) {
      if (picture.pixels[static_cast<std::size_t>(y * picture.size + x)].a == 0) row[x / 8] |= 0x80 >> (x % 8);
    }
    image.insert(image.end(), row.begin(), row.end());
  }
  return image;
}

std::vector<std::uint8_t> IcoFile(const std::vector<Picture>& pictures) {
  std::vector<std::uint8_t> file;
  Put16(file, 0);  // reserved
  Put16(file, 1);  // an icon
  Put16(file, static_cast<unsigned>(pictures.size()));
  std::vector<std::uint8_t> images;
  auto offset = static_cast<std::uint32_t>(6 + 16 * pictures.size());
  for (const Picture& picture : pictures) {
    const std::vector<std::uint8_t> image = IconImage(picture);
    const auto side = static_cast<std::uint8_t>(picture.size == 256 ? 0 : picture.size);  // 0 means 256
    file.insert(file.end(), {side, side, 0, 0});
    Put16(file, 1);
    Put16(file, 32);
    Put32(file, static_cast<std::uint32_t>(image.size()));
    Put32(file, offset);
    offset += static_cast<std::uint32_t>(image.size());
    images.insert(images.end(), image.begin(), image.end());
  }
  file.insert(file.end(), images.begin(), images.end());
  return file;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kivofs-icon-ico <output.ico>\n");
    return 2;
  }
  Picture small, large;
  if (!DecodeXpm(res::AppIconXpm(16), small) || !DecodeXpm(res::AppIconXpm(32), large)) {
    std::fprintf(stderr, "kivofs-icon-ico: the icon's XPM does not decode\n");
    return 1;
  }
  const std::vector<std::uint8_t> ico = IcoFile({small, large, Scaled(large, 48), Scaled(large, 256)});
  std::ofstream out(argv[1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "kivofs-icon-ico: cannot write '%s'\n", argv[1]);
    return 1;
  }
  return 0;
}
