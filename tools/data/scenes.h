// SPDX-License-Identifier: MIT
// The four level pictures, painted from scratch: the same call always gives the same image.
#pragma once

#include "picture.h"

namespace tools {

Image lake_at_sunset();
Image harbour_village();
Image stained_glass();
Image fractal_spirals();

}  // namespace tools
