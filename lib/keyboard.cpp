// Keyboard and line input.
#include "vora256.h"

namespace vora256 {

char VARI[80] = {};

}  // namespace vora256
