#include "ui/setup/center_form.h"

namespace quorvix {

FormPosition CenterForm(float screenWidth, float screenHeight, float windowWidth,
                        float windowHeight) {
  return {(screenWidth - windowWidth) / 2.0f, (screenHeight - windowHeight) / 2.0f};
}

}  // namespace quorvix
