#include "viewer/capture_names.h"

namespace locket {

CaptureFiles CaptureFileNames(const std::string& chosen) {
    std::string base = chosen;
    const size_t slash = base.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = base.rfind('.');
    // A leading dot names a hidden file; it is not an extension.
    if (dot != std::string::npos && dot > nameStart)
        base.erase(dot);
    return {base + "_front.jpg", base + "_rear.jpg"};
}

}  // namespace locket
