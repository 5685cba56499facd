// The handle table: the one process-wide piece of state. It maps the opaque
// numbers handed to callers to open images, option blocks and page bitmaps.
// Numbers come from a counter, so a closed handle does not come back soon
// and a stale one finds nothing. The map itself is locked, so that
// documents on different threads can each use handles of their own; one
// handle is used by one thread at a time.
#pragma once

#include "bitmap.h"
#include "image.h"
#include "imaging.h"
#include "options.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <variant>

namespace ovin::imaging {

// A page bitmap handed out by ImgGetDIB: a page of the image it came from,
// read only when it is written. It goes with its image.
struct PageBitmap {
    ImgHandle owner = 0;
    int32_t page = 0;
};

class HandleTable {
public:
    using Entry = std::variant<std::unique_ptr<Image>, OptionBlock, PageBitmap>;

    // 0 when no number is free (never in practice).
    ImgHandle add(Entry entry);

    template <typename T> T* find(ImgHandle handle) {
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto it = entries_.find(handle);
        if (it == entries_.end()) {
            return nullptr;
        }
        return std::get_if<T>(&it->second);
    }

    Image* findImage(ImgHandle handle) {
        auto* image = find<std::unique_ptr<Image>>(handle);
        return image ? image->get() : nullptr;
    }

    // Releases the handle; releasing an image also releases its bitmaps.
    bool remove(ImgHandle handle);
    void clear() {
        const std::lock_guard<std::mutex> lock(mutex_);
        entries_.clear();
    }
    size_t size() const {
        const std::lock_guard<std::mutex> lock(mutex_);
        return entries_.size();
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<ImgHandle, Entry> entries_;
    ImgHandle next_ = 1;
};

HandleTable& handleTable();

} // namespace ovin::imaging
