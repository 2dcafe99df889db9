// The order data dialog's layout at the DPIs of real monitors (100 % to 200 %), computed by
// the same code the Win32 view places its controls with: every control inside the client
// area, and no caption wider than its control in the shell dialog font (8-point Tahoma,
// whose average character is 5 pixels wide at 96 DPI), scaled with the DPI.
#include <gtest/gtest.h>

#include <string>

#include "dialog/layout.h"

namespace brosk {
namespace {

TEST(DialogLayout, FitsTheClientAreaAtEveryDpi) {
  for (const int dpi : {96, 120, 144, 192}) {
    const int width = layout::toPixels(layout::kClientWidth, dpi);
    const int height = layout::toPixels(layout::kClientHeight, dpi);
    for (const layout::Control& c : layout::kControls) {
      const layout::PixelRect r = layout::pixelRect(c, dpi);
      EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.left + r.width <= width &&
                  r.top + r.height <= height)
          << c.name << " at " << dpi << " DPI";
      const bool caption = c.kind == layout::Kind::Label || c.kind == layout::Kind::Button;
      if (!caption || c.text == layout::kSeparatorRule) continue;  // a rule may be cut
      const int captionWidth = static_cast<int>(std::u16string(c.text).size()) * 5 * dpi / 96;
      EXPECT_LE(captionWidth, r.width) << c.name << " at " << dpi << " DPI";
    }
  }
}

}  // namespace
}  // namespace brosk
