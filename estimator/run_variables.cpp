#include "estimator/run_variables.h"

namespace dartcirc {

std::int32_t Radius = 0;
double RadiusSquared = 0;
std::int64_t TrialsLeft = 0;
std::uint64_t InsideCount = 0;
std::int64_t BlockCount = 0;
double PointX = 0;
double PointY = 0;

}  // namespace dartcirc
