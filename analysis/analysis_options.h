// SPDX-License-Identifier: MIT
#pragma once

namespace orvel {

// Which form of the transforms the analysis runs. The fast forms (table
// twiddles, SIMD butterflies) give the same bits as the straightforward
// reference forms; tests and benchmarks compare whole reports of both.
enum class Transforms { Fast, Reference };

// How one analysis runs, passed down by value from whoever starts it. The
// thread count and the transforms never change a result.
struct AnalysisOptions {
    // Threads the alignment search of one channel uses, the calling thread
    // included; 0 means one per core. kestrone-scan with --jobs lowers it.
    unsigned threads = 0;
    Transforms transforms = Transforms::Fast;
    // A file the user named directly: a file whose extension names no format
    // is decoded when its content is one (see decodeAudio). Files found by a
    // folder walk and the window's queue keep the extension rules.
    bool givenDirectly = false;
    // Whether the ORIGIN check runs. Off only where nothing shown or kept has
    // it (the JSON report, which has no ORIGIN); its record then holds the
    // default "not measured" ORIGIN result.
    bool origin = true;

    // The thread count in effect: at least 1 and at most 64 (the offsets
    // between two stop checks).
    [[nodiscard]] unsigned threadCount() const;
};

} // namespace orvel
