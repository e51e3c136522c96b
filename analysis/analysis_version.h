// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace orvel {

// The version of the analysis results. Cached records are valid only under
// the version that made them, so any change to what a check measures, decides
// or writes must raise it. The digest below is that of the JSON Lines report
// (spectrum included, ORIGIN among the checks) of the reference files the
// tests make; a test fails when the analysis gives other results under the
// same version: raise the version and put the new digest here together.
// 3: streams that end short of their container's declared length fail, and
// a stream decoded to its end reports what decoded as its duration.
// 4: ORIGIN searches the Vorbis, mid/side AAC and AC-3 frame grids, names a
// codec only from its grid, and a hard edge from 19.5 kHz alone is no evidence.
// 5: ORIGIN searches the Opus (CELT) frame grid at 48 and 44.1 kHz, and its
// lower-rate trace finds gentle resamplers by their images mirrored about the
// source Nyquist.
inline constexpr int kAnalysisVersion = 5;
inline constexpr std::string_view kReferenceReportDigest = "c4bc68beb39a6cd3";

} // namespace orvel
