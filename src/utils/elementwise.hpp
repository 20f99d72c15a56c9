// Element-wise functions of scans.
#pragma once

#include "core/scan.hpp"

namespace orvanalysis::utils {

// The decimal and natural logarithm of every value: the operand's keys, epsilon and kind. A
// value of 0 gives -inf and a negative one NaN; nothing is raised.
Scan log10(const Scan& scan);
Scan log(const Scan& scan);

// Replaces every value v by -v where 0 > v (NaN and -0.0 stay as they are).
void abs(Scan& scan);

}  // namespace orvanalysis::utils
