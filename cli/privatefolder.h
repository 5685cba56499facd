// A folder of this process alone for the temporary file of page conversion
// and the copy of an image read from standard input, so that runs at the
// same time never share one: made by mkdtemp (mode 0700) in
// $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp, and removed with everything in
// it when the object goes.
#pragma once

#include <string>

namespace ovincli {

class privatefolder {
public:
    privatefolder() = default;
    ~privatefolder();
    privatefolder(const privatefolder&) = delete;
    privatefolder& operator=(const privatefolder&) = delete;

    // Makes the folder in the first place that takes it. On failure returns
    // false and sets `error`.
    bool make(std::string& error);
    // The folder, empty before make() succeeded.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace ovincli
