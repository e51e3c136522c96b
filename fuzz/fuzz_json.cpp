// SPDX-License-Identifier: MIT
// jsonQuote and buildJsonReport on arbitrary wide text and numbers: the output
// must always be valid UTF-8 and strict JSON, whatever the characters (lone
// surrogates, values above U+10FFFF, controls) or the numbers (NaN, infinities).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "report/json_report.h"
#include "tests/support/json.h"

namespace {

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    [[nodiscard]] bool empty() const { return m_pos >= m_size; }

    std::uint8_t byte() { return empty() ? 0 : m_data[m_pos++]; }

    // A short wide text: mostly plain characters, some raw 32-bit values.
    std::string text()
    {
        std::string out;
        const std::size_t length = byte() % 48;
        for (std::size_t i = 0; i < length && !empty(); ++i) {
            const std::uint8_t kind = byte();
            if (kind < 0xC0) {
                out.push_back(static_cast<char>(kind));
            } else {
                std::uint32_t value = 0;
                for (int k = 0; k < 4; ++k) {
                    value = (value << 8) | byte();
                }
                if (kind < 0xF0) {
                    value &= 0x1FFFFF; // near the Unicode range, surrogates included
                }
                out.push_back(static_cast<char>(value));
            }
        }
        return out;
    }

    double number()
    {
        std::uint64_t bits = 0;
        for (int k = 0; k < 8; ++k) {
            bits = (bits << 8) | byte();
        }
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    std::int32_t integer()
    {
        return static_cast<std::int32_t>((std::uint32_t{byte()} << 24) | (std::uint32_t{byte()} << 16) |
                                         (std::uint32_t{byte()} << 8) | byte());
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

void check(const std::string& json, const char* what)
{
    if (!orvel::testing::isStrictJson(json)) {
        std::fprintf(stderr, "%s is not strict JSON (%zu bytes)\n", what, json.size());
        std::abort();
    }
}

orvel::CheckResult checkResult(Bytes& in)
{
    orvel::CheckResult result;
    // Any of the six, None included: the writer must cope with every one.
    result.status = static_cast<orvel::Verdict>(in.byte() % 6);
    result.summary = in.text();
    result.evidence = in.text();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    const std::string quoted = in.text();
    const std::string literal = orvel::jsonQuote(quoted);
    check(literal, "jsonQuote");
    if (literal.size() < 2 || literal.front() != '"' || literal.back() != '"') {
        std::fprintf(stderr, "jsonQuote gave no string literal\n");
        std::abort();
    }

    std::vector<orvel::FileReport> records;
    while (!in.empty() && records.size() < 4) {
        orvel::FileReport record;
        record.file = in.text();
        const std::uint8_t shape = in.byte();
        if (shape & 1) {
            record.error = in.text();
            if (record.error.empty()) {
                record.error = "x";
            }
        } else {
            record.codec = in.text();
            record.sampleRate = in.integer();
            record.storedBits = in.integer();
            record.channelCount = in.integer();
            record.duration = in.number();
            record.analyzedSeconds = in.number();
            record.upscaling = checkResult(in);
            record.upsampling = checkResult(in);
            record.aacSin = checkResult(in);
            const std::size_t bins = (shape & 2) ? 2049 : in.byte();
            record.spectrumDb.resize(bins, -120.0);
            for (std::size_t i = 0; i < 8 && bins > 0 && !in.empty(); ++i) {
                const std::size_t bin = ((std::size_t{in.byte()} << 8) | in.byte()) % bins;
                record.spectrumDb[bin] = in.number();
            }
        }
        records.push_back(std::move(record));
    }
    check(orvel::buildJsonReport(records), "buildJsonReport");
    return 0;
}
