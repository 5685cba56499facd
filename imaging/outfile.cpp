#include "outfile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ovin::imaging {

NewFile::NewFile(const char* name) : name_(name != nullptr ? name : "") {
    if (name_.empty()) {
        return;
    }
    fd_ =
        UniqueFd(::open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd_.valid()) {
        status_ = Status::Created;
    } else if (errno == EEXIST) {
        status_ = Status::Exists;
    }
}

NewFile::~NewFile() {
    if (status_ == Status::Created && !kept_) {
        fd_.reset();
        ::unlink(name_.c_str());
    }
}

bool NewFile::finish() {
    if (status_ != Status::Created || !fd_.valid()) {
        return false;
    }
    kept_ = ::close(fd_.release()) == 0;
    return kept_;
}

} // namespace ovin::imaging
