#include "control/ControlView.h"

#include <cmath>

int ProgressPosition(float fraction)
{
    const double position = std::trunc(static_cast<double>(fraction) * kProgressMax);
    if (!(position > 0)) {  // also NaN
        return 0;
    }
    return position > kProgressMax ? kProgressMax : static_cast<int>(position);
}
