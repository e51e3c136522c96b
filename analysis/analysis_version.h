// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace orvel {

// The version of the analysis results. Cached records are valid only under
// the version that made them, so any change to what a check measures, decides
// or writes must raise it. The digest below is that of the JSON Lines report
// (spectrum included) of the reference files the tests make; a test fails
// when the analysis gives other results under the same version: raise the
// version and put the new digest here together.
inline constexpr int kAnalysisVersion = 1;
inline constexpr std::string_view kReferenceReportDigest = "0880c5287acfaf06";

} // namespace orvel
