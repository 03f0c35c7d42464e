#include "gdal/write_failure.h"

#include <cerrno>
#include <cstring>

RunError write_failure(const std::string& shown_path, std::string reason, int error)
{
    if (error == ENOSPC || error == EFBIG || error == EDQUOT || error == EIO) {
        const std::string system = std::strerror(error);
        if (reason.find(system) == std::string::npos) reason += " (" + system + ")";
    }
    return RunError("cannot write " + shown_path + ": " + reason);
}
