// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

namespace orvel {

class InputFile;

// The play length an ASF (WMA) file's File Properties object declares, in
// seconds, preroll taken off. Empty when the file starts with no ASF header,
// the object is missing, or the broadcast flag says the length is unknown.
// FFmpeg drops this declaration as soon as the file's size disagrees with the
// header's, which is exactly the case of a cut file.
[[nodiscard]] std::optional<double> asfDeclaredSeconds(const InputFile& file);

} // namespace orvel
