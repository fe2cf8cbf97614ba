#pragma once
// Where a control sits and how it is coloured, in the units the windows are designed in.

#include <cstdint>

namespace tavoro::forms {

// Twips: 1/1440 inch. The win32 backend scales them by the window's DPI.
struct Bounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Bounds&, const Bounds&) = default;
};

// 0x00BBGGRR, or a system colour: the high bit set and the system colour's index below it, so
// the backend resolves it against the user's colour scheme when it paints.
using Color = std::uint32_t;

constexpr Color Rgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  return static_cast<Color>(red) | static_cast<Color>(green) << 8 | static_cast<Color>(blue) << 16;
}
constexpr Color SystemColor(int index) {
  return 0x80000000u | static_cast<Color>(index);
}
constexpr bool IsSystemColor(Color color) {
  return (color & 0x80000000u) != 0;
}

inline constexpr Color kWindowColor = SystemColor(5);      // an empty window's client area
inline constexpr Color kWindowTextColor = SystemColor(8);  // text in windows
inline constexpr Color kButtonFaceColor = SystemColor(15);

}  // namespace tavoro::forms
