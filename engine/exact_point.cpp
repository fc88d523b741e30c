#include "engine/exact_point.h"

namespace dartcirc {

double CoordinateFromDraws(std::int32_t fractionDraw, std::int32_t integerDraw,
                           std::int32_t radius) {
  const Extended fraction = ExtendedFromInt32(fractionDraw) / ExtendedFromInt32(radius);
  return RoundToDouble(ExtendedFromInt32(integerDraw) + fraction);
}

bool IsInside(double pointX, double pointY, Extended radiusSquared) {
  const Extended x = ExtendedFromDouble(pointX);
  const Extended y = ExtendedFromDouble(pointY);
  return !(x * x + y * y > radiusSquared);  // a point on the circle is inside
}

}  // namespace dartcirc
