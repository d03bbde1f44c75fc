// The launcher's button pictures, drawn from a short description (face colour, frame, caption
// and its rows) rather than kept as image files, and icon 128 as XPM text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace res {

inline constexpr int IDR_MAINFRAME = 128;  // icon 128
inline constexpr int IDB_CREATE_DRIVE = 129;
inline constexpr int IDB_ADD_DRIVES = 130;
inline constexpr int IDB_BLANK_LEFT = 131;
inline constexpr int IDB_BLANK_RIGHT = 132;
inline constexpr int IDB_CREATE_DRIVE_PRESSED = 133;
inline constexpr int IDB_ADD_DRIVES_PRESSED = 142;

inline constexpr int kButtonPictureWidth = 157;
inline constexpr int kButtonPictureHeight = 96;
inline constexpr int kButtonFrameWidth = 2;
inline constexpr std::uint8_t kButtonFace[3] = {236, 233, 216};

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, three bytes per pixel

  bool empty() const { return rgb.empty(); }
  std::size_t offset(int x, int y) const {
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    return (row + static_cast<std::size_t>(x)) * 3;
  }
  const std::uint8_t* pixel(int x, int y) const { return rgb.data() + offset(x, y); }
  std::uint8_t* pixel(int x, int y) { return rgb.data() + offset(x, y); }
};

// The picture with that ID (129-133, 142), or an empty one for any other ID.
RgbPicture DrawButtonPicture(int id);

// Icon 128 as XPM lines, in 16 colours: `size` 32 or 16; nullptr for any other size.
const char* const* AppIconXpm(int size);

}  // namespace res
