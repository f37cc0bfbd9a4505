#pragma once

#include <QRect>
#include <cmath>

namespace console {

// Window layouts are kept in twips, 15 to a pixel.
constexpr int kTwipsPerPixel = 15;

inline int pixels(int twips) {
    return int(std::lround(double(twips) / kTwipsPerPixel));
}

inline int twips(int pixels) {
    return pixels * kTwipsPerPixel;
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}

} // namespace console
