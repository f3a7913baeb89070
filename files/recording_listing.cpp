#include "files/recording_listing.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

namespace locket {

namespace {

void AppendCategory(TatHandle handle, char drive, int32_t category, std::vector<std::string>* out) {
    const int32_t count = TatCountRecordings(handle, drive, category);
    if (count <= 0)
        return;
    std::vector<char> names(static_cast<size_t>(count) * kTatNameBytes, 0);
    std::vector<uint8_t> sizes(static_cast<size_t>(count) * kTatSizeBytes + 8, 0);
    std::vector<int32_t> extra(static_cast<size_t>(count) + 2, 0);
    const int32_t filled =
        std::min(count, TatListRecordings(handle, drive, category, count, names.data(),
                                          sizes.data(), extra.data()));
    for (int32_t i = 0; i < filled; ++i) {
        const auto bytes = static_cast<int64_t>(GetLE64(sizes.data() + i * kTatSizeBytes));
        if (bytes < kMinListedBytes)
            continue;
        const char* name = names.data() + static_cast<size_t>(i) * kTatNameBytes;
        out->emplace_back(name, strnlen(name, kTatNameBytes));
    }
}

}  // namespace

std::vector<std::string> ListRecordings(TatHandle handle, char drive, int32_t category) {
    std::vector<std::string> names;
    if (!handle || drive == 0)
        return names;
    if (category >= 0 && category < kAllCategories) {
        AppendCategory(handle, drive, category, &names);
    } else if (category == kAllCategories) {
        for (int32_t each = 0; each < kAllCategories; ++each)
            AppendCategory(handle, drive, each, &names);
    }
    return names;
}

}  // namespace locket
