// SPDX-License-Identifier: MIT
#pragma once

namespace orvel {

// Process-wide knobs of the analysis. By default analyzeFile runs the fast
// transforms and uses every core inside one file; a caller that analyses
// several files at once (kestrone-scan with --jobs) lowers the thread count,
// benchmarks and tests change both.

// Threads the alignment search of one channel uses, the calling thread
// included; 0 (the default) means std::thread::hardware_concurrency(). Results
// do not depend on it.
void setAnalysisThreads(unsigned count);

// The count in effect, at least 1 and at most 64 (the offsets between two
// stop checks).
[[nodiscard]] unsigned analysisThreads();

// Routes fft, SineMdct::forward and averagedPowerSpectrum through their
// straightforward reference forms, so a whole report can be compared with the
// fast path. Off by default.
void setReferenceTransforms(bool enabled);
[[nodiscard]] bool referenceTransforms();

} // namespace orvel
