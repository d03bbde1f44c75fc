// The launcher's pictures as the program loads them: size, depth, face colour, the two-pixel
// frame (raised or pressed), where the caption's ink lies, and icon 128.
#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/icon.h>
#include <wx/image.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <tuple>

#include "app/LauncherPictures.h"
#include "res/LauncherPictures.h"
#include "ui/Resources.h"

namespace {

using Rgb = std::tuple<int, int, int>;
constexpr Rgb kFace{236, 233, 216};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};

Rgb At(const wxImage& image, int x, int y) { return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)}; }

bool IsDark(const Rgb& rgb) { return std::get<0>(rgb) + std::get<1>(rgb) + std::get<2>(rgb) < 3 * 64; }

struct PictureCase {
  int id;
  bool pressed;
  int captionTop;  // -1: no caption
};

class PictureTest : public ::testing::TestWithParam<PictureCase> {
 protected:
  void SetUp() override {
    app::RegisterLauncherPictures();
    bitmap = ui::LoadBitmapResource(GetParam().id);
    ASSERT_TRUE(bitmap.IsOk());
    image = bitmap.ConvertToImage();
  }
  wxBitmap bitmap;
  wxImage image;
};

TEST_P(PictureTest, SizeDepthAndFrame) {
  const PictureCase& c = GetParam();
  EXPECT_EQ(157, bitmap.GetWidth());
  EXPECT_EQ(96, bitmap.GetHeight());
  EXPECT_EQ(24, bitmap.GetDepth());
  const Rgb topLeft = c.pressed ? kBlack : kWhite;
  const Rgb bottomRight = c.pressed ? kWhite : kBlack;
  for (int x = 2; x < 155; ++x) {
    for (int y : {0, 1}) EXPECT_EQ(topLeft, At(image, x, y)) << x << "," << y;
    for (int y : {94, 95}) EXPECT_EQ(bottomRight, At(image, x, y)) << x << "," << y;
  }
  for (int y = 2; y < 94; ++y) {
    for (int x : {0, 1}) EXPECT_EQ(topLeft, At(image, x, y)) << x << "," << y;
    for (int x : {155, 156}) EXPECT_EQ(bottomRight, At(image, x, y)) << x << "," << y;
  }
}

TEST_P(PictureTest, FaceHoldsOnlyTheCaption) {
  const PictureCase& c = GetParam();
  int firstInkRow = -1, lastInkRow = -1, firstInkColumn = 157, lastInkColumn = -1;
  for (int y = 2; y < 94; ++y) {
    for (int x = 2; x < 155; ++x) {
      const Rgb rgb = At(image, x, y);
      if (rgb == kFace) continue;
      EXPECT_EQ(kBlack, rgb) << x << "," << y;  // the caption is black, nothing else is drawn
      if (firstInkRow < 0) firstInkRow = y;
      lastInkRow = y;
      firstInkColumn = std::min(firstInkColumn, x);
      lastInkColumn = std::max(lastInkColumn, x);
    }
  }
  if (c.captionTop < 0) {
    EXPECT_EQ(-1, firstInkRow);
    return;
  }
  EXPECT_EQ(c.captionTop, firstInkRow);
  EXPECT_EQ(c.captionTop + 7, lastInkRow);
  for (int y = c.captionTop; y <= c.captionTop + 7; ++y) {
    bool ink = false;
    for (int x = 2; x < 155; ++x) ink = ink || IsDark(At(image, x, y));
    EXPECT_TRUE(ink) << "row " << y;
  }
  // Centred across: the margins differ by at most one pixel.
  const int left = firstInkColumn;
  const int right = 156 - lastInkColumn;
  EXPECT_LE(std::abs(left - right), 1) << left << " " << right;
  EXPECT_GT(lastInkColumn - firstInkColumn, 80);  // a caption of a dozen or more letters
}

INSTANTIATE_TEST_SUITE_P(Pictures, PictureTest,
                         ::testing::Values(PictureCase{129, false, 75}, PictureCase{130, false, 76},
                                           PictureCase{131, false, -1}, PictureCase{132, false, -1},
                                           PictureCase{133, true, 75}, PictureCase{142, true, 76}));

TEST(PictureTest, PressedCaptionsSitWhereTheNormalOnesDo) {
  app::RegisterLauncherPictures();
  for (auto [normal, pressed] : {std::pair{129, 133}, std::pair{130, 142}}) {
    const wxImage a = ui::LoadBitmapResource(normal).ConvertToImage();
    const wxImage b = ui::LoadBitmapResource(pressed).ConvertToImage();
    for (int y = 2; y < 94; ++y) {
      for (int x = 2; x < 155; ++x) ASSERT_EQ(At(a, x, y), At(b, x, y)) << normal << " " << x << "," << y;
    }
  }
  // The two captions differ.
  const wxImage create = ui::LoadBitmapResource(129).ConvertToImage();
  const wxImage add = ui::LoadBitmapResource(130).ConvertToImage();
  EXPECT_FALSE(std::equal(create.GetData(), create.GetData() + 157 * 96 * 3, add.GetData()));
}

TEST(PictureTest, OtherIdsHaveNoButtonPicture) {
  for (int id : {0, 128, 134, 141, 143}) EXPECT_TRUE(res::DrawButtonPicture(id).empty()) << id;
}

TEST(AppIconTest, HasBothSizesInSixteenColoursAtMost) {
  app::RegisterLauncherPictures();
  const wxIconBundle icons = app::LoadAppIcon();
  for (int size : {32, 16}) {
    const wxIcon icon = icons.GetIconOfExactSize(wxSize(size, size));
    ASSERT_TRUE(icon.IsOk()) << size;
    wxBitmap bitmap;
    bitmap.CopyFromIcon(icon);
    const wxImage image = bitmap.ConvertToImage();
    std::set<Rgb> colours;
    int opaque = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        if (image.HasMask() && image.IsTransparent(x, y)) continue;
        if (image.HasAlpha() && image.GetAlpha(x, y) == 0) continue;
        colours.insert(At(image, x, y));
        ++opaque;
      }
    }
    EXPECT_LE(colours.size(), 16u) << size;
    EXPECT_GE(colours.size(), 4u) << size;
    EXPECT_GT(opaque, size * size / 2) << size;
  }
  // The about box shows the 32 x 32 form through the resource table.
  EXPECT_EQ(wxSize(32, 32), ui::LoadBitmapResource(128).GetSize());
}

}  // namespace
