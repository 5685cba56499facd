#include "handles.h"

#include <iterator>

namespace ovin::imaging {

ImgHandle HandleTable::add(Entry entry) {
    const std::lock_guard<std::mutex> lock(mutex_);
    // Skip 0 and any number still in use after the counter wraps.
    for (size_t tries = 0; tries <= entries_.size(); ++tries) {
        const ImgHandle candidate = next_;
        next_ = next_ == UINT32_MAX ? 1 : next_ + 1;
        if (candidate != 0 && !entries_.contains(candidate)) {
            entries_.emplace(candidate, std::move(entry));
            return candidate;
        }
    }
    return 0;
}

bool HandleTable::remove(ImgHandle handle) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(handle);
    if (it == entries_.end()) {
        return false;
    }
    const bool isImage = std::holds_alternative<std::unique_ptr<Image>>(it->second);
    entries_.erase(it);
    if (isImage) {
        std::erase_if(entries_, [handle](const auto& item) {
            const auto* bitmap = std::get_if<PageBitmap>(&item.second);
            return bitmap != nullptr && bitmap->owner == handle;
        });
    }
    return true;
}

HandleTable& handleTable() {
    static HandleTable table;
    return table;
}

} // namespace ovin::imaging
