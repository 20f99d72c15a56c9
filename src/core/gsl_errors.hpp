// GSL's error reporting as the library uses it.
#pragma once

#include <gsl/gsl_errno.h>

namespace orvanalysis {

// GSL's default error handler aborts the process; with it off, failures come back as status
// codes and null handles, which the callers turn into exceptions. The handler is process-wide
// state, so it is switched off once: computations run on several threads at a time.
inline void switch_off_gsl_error_handler() {
    static const bool off = (gsl_set_error_handler_off(), true);
    (void)off;
}

}  // namespace orvanalysis
