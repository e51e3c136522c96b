// SPDX-License-Identifier: MIT
#pragma once

namespace orvel {

// Which form of the transforms the analysis runs. The fast forms (table
// twiddles, SIMD butterflies) give the same bits as the straightforward
// reference forms; tests and benchmarks compare whole reports of both.
enum class Transforms { Fast, Reference };

// How one analysis runs, passed down by value from whoever starts it. Neither
// setting changes a result.
struct AnalysisOptions {
    // Threads the alignment search of one channel uses, the calling thread
    // included; 0 means one per core. kestrone-scan with --jobs lowers it.
    unsigned threads = 0;
    Transforms transforms = Transforms::Fast;

    // The thread count in effect: at least 1 and at most 64 (the offsets
    // between two stop checks).
    [[nodiscard]] unsigned threadCount() const;
};

} // namespace orvel
