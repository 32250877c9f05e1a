#pragma once
// The few things we need from a CUE sheet ourselves; the rest of it is read by libcdio.

#include <string>
#include <string_view>
#include <vector>

namespace cdrom {

// The data file names of the sheet's FILE lines, in order, as written (quoted or not).
std::vector<std::string> cueFileNames(std::string_view sheet);

}  // namespace cdrom
