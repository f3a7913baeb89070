#include "tools/locket-record/annexb.h"

namespace locket {

bool EnsureLongStartCode(std::vector<uint8_t>* au) {
    std::vector<uint8_t>& d = *au;
    if (d.size() >= 4 && d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == 1)
        return true;
    if (d.size() >= 3 && d[0] == 0 && d[1] == 0 && d[2] == 1) {
        d.insert(d.begin(), 0);
        return true;
    }
    return false;
}

int FirstNalType(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return data[i + 3] & 0x1F;
        if (data[i] != 0)
            return -1;
    }
    return -1;
}

bool LooksLikeKeyFrame(const uint8_t* data, size_t size) {
    return size > 4 && data[4] != 0x41;
}

}  // namespace locket
