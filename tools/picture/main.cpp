// SPDX-License-Identifier: MIT
// kestrone-picture writes the labelled spectrogram picture of one audio file,
// the same bytes kestrone-scan --spectrogram writes for it at the same size.
//   usage: kestrone-picture [--size WxH] [--frame 2048|4096|8192] [--range DB]
//                           [--channel N] AUDIO OUT.png
#include <atomic>
#include <charconv>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analyze_file.h"
#include "analysis/spectrogram.h"
#include "batch/output_target.h"
#include "decode/cancellation.h"
#include "picture/file_picture.h"
#include "picture/spectrogram_picture.h"

namespace {

constexpr std::string_view kUsage =
    "usage: kestrone-picture [--size WxH] [--frame 2048|4096|8192] [--range DB] [--channel N] AUDIO OUT.png\n";

struct Arguments {
    orvel::PictureSize size;
    orvel::SpectrogramOptions options;
    std::filesystem::path audio;
    std::filesystem::path output;
    bool custom = false; // --frame, --range or --channel: not the picture kestrone-scan writes
};

bool parseNumber(std::string_view text, long& value)
{
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool parse(int argc, char** argv, Arguments& out)
{
    std::vector<std::filesystem::path> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long number = 0;
        if (arg == "--size" && hasValue) {
            const auto size = orvel::parsePictureSize(argv[++i]);
            if (!size) {
                return false;
            }
            out.size = *size;
        } else if (arg == "--frame" && hasValue && parseNumber(argv[++i], number) && number > 0) {
            out.options.frameLength = static_cast<std::size_t>(number);
            out.custom = true;
        } else if (arg == "--range" && hasValue && parseNumber(argv[++i], number)) {
            out.options.rangeDb = static_cast<double>(number);
            out.custom = true;
        } else if (arg == "--channel" && hasValue && parseNumber(argv[++i], number) && number >= 1 && number <= 32) {
            out.options.channel = static_cast<std::int32_t>(number - 1);
            out.custom = true;
        } else if (!arg.empty() && arg[0] != '-') {
            paths.emplace_back(arg);
        } else {
            return false;
        }
    }
    if (paths.size() != 2) {
        return false;
    }
    out.audio = paths[0];
    out.output = paths[1];
    return true;
}


} // namespace

int main(int argc, char** argv)
{
    Arguments args;
    if (!parse(argc, argv, args)) {
        std::cerr << kUsage;
        return 2;
    }
    const std::atomic<bool> noStop{false};
    try {
        // The picture is made from the audio the analysis decoded, as kestrone-scan makes it;
        // the file is named directly, so its content may say what it is.
        orvel::AnalysisOptions directly;
        directly.givenDirectly = true;
        std::vector<unsigned char> png;
        const orvel::FileReport report = orvel::analyzeFile(
            args.audio, noStop, {}, directly, [&](const orvel::DecodedAudio& audio, orvel::FileReport& record) {
                if (args.custom) {
                    args.options.columns = static_cast<std::size_t>(orvel::plotArea(args.size).width);
                    png = orvel::renderSpectrogramPng(orvel::computeSpectrogram(audio, args.options, noStop),
                                                      orvel::pictureLabels(record), args.size);
                } else {
                    png = orvel::filePicturePng(audio, record, args.size, {}, noStop);
                }
            });
        if (const std::string refused = orvel::refusedOutputReason(args.output, {args.audio}, orvel::OutputKind::Picture);
            !refused.empty()) {
            std::cerr << "kestrone-picture: " << refused << '\n';
            return 1;
        }
        orvel::writePictureFile(args.output, png);
    } catch (const orvel::Cancelled&) {
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "kestrone-picture: " << args.audio.native() << ": " << error.what() << '\n';
        return 1;
    }
    return 0;
}
