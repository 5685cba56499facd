#include "fd.h"

#include <unistd.h>

namespace ovin::imaging {

void UniqueFd::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

} // namespace ovin::imaging
