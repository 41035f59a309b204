// The four level pictures, painted from scratch: the same call always gives the same image.
#pragma once

#include "picture.h"

namespace tools {

Image lake_at_sunset();
Image fractal_spirals();
Image stained_glass();
Image harbour_village();

}  // namespace tools
