// How failing expectations print the toolkit's geometry: "{cx x cy}" instead of its bytes.
#pragma once

#include <ostream>

#include "toolkit/geometry.h"

namespace tk {

inline void PrintTo(const Size& size, std::ostream* os) {
    *os << "{" << size.cx << " x " << size.cy << "}";
}

}  // namespace tk
