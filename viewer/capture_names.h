// The file names of a still capture: one JPEG per camera beside the name the person chose.
#pragma once

#include <string>

namespace locket {

struct CaptureFiles {
    std::string front;  // base + "_front.jpg"
    std::string rear;   // base + "_rear.jpg"
};

// Base is the chosen path without the extension its file name has (a dot and what follows the
// last dot of the file name, never of a folder); a name without one is kept whole.
CaptureFiles CaptureFileNames(const std::string& chosen);

}  // namespace locket
