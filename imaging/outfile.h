// The file a page is written to: always created new, never an existing
// file and never through a symbolic link, readable by its owner only, and
// removed again unless the writing completes.
#pragma once

#include "fd.h"

#include <string>

namespace ovin::imaging {

class NewFile {
public:
    enum class Status { Created, Exists, Failed };

    // Creates the file exclusively (O_CREAT | O_EXCL | O_NOFOLLOW, mode
    // 0600). Anything already there under the name, a dangling symbolic link
    // included, is left alone and gives Exists.
    explicit NewFile(const char* name);
    // Removes the file unless finish() succeeded.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    Status status() const { return status_; }
    int fd() const { return fd_.get(); }
    // Closes the file and keeps it; false when the close reports that the
    // written bytes did not all reach it (a full disk may show only there).
    bool finish();

private:
    std::string name_;
    UniqueFd fd_;
    Status status_ = Status::Failed;
    bool kept_ = false;
};

} // namespace ovin::imaging
