// How a failure to write an image file is told: the image's shown path,
// what went wrong, and the system's reason when it is one a write gives (a
// full disk, a file-size limit), which a codec's or GDAL's own message does
// not always say.
#ifndef GDAL_WRITE_FAILURE_H
#define GDAL_WRITE_FAILURE_H

#include <string>

#include "shared/run_error.h"

// The failure to write `shown_path`: `reason`, with the reason of the system
// error `error` (an errno value) added when it is ENOSPC, EFBIG, EDQUOT or
// EIO and not already said.
RunError write_failure(const std::string& shown_path, std::string reason, int error);

#endif
