// Placing a window in the middle of the screen.
#pragma once

namespace quorvix {

struct FormPosition {
  float left;
  float top;
};

// left = (screen width - window width) / 2, top likewise, in single precision and not rounded;
// a screen narrower than the window gives a negative left edge. All sizes in one unit.
FormPosition CenterForm(float screenWidth, float screenHeight, float windowWidth,
                        float windowHeight);

}  // namespace quorvix
