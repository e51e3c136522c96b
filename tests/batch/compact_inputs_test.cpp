// SPDX-License-Identifier: MIT
#include "batch/compact_inputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvel {
namespace {

// Inputs as a walk of a list gives them: long shared beginnings over more
// than one block, names shown as the whole path, as its end or as something
// else, a few error texts many times, and bytes that are not UTF-8.
std::vector<BatchInput> listLike()
{
    std::vector<BatchInput> list;
    const std::string errors[] = {"", "Cannot read this path: No such file or directory.",
                                  "This path is not a regular file."};
    for (int i = 0; i < 100; ++i) {
        const std::string name = "d" + std::to_string(i / 7) + "/f" + std::to_string(i) + ".flac";
        BatchInput input;
        input.path = "/music/library/" + name;
        input.shown = i % 3 == 0 ? input.path.native() : i % 3 == 1 ? name : "../x/" + name;
        input.error = errors[i % 5 == 0 ? 1 : i % 11 == 0 ? 2 : 0];
        input.givenDirectly = i % 4 == 0;
        list.push_back(input);
    }
    list.push_back({"/music/library", "library", {}, true});          // shorter than the one before
    list.push_back({"/m\xff\n/\xc3", "/m\xff\n/\xc3", "Cannot read this folder: x.", false});
    list.push_back({"/", "", {}, false});                                // an empty shown name
    list.push_back({"/music/library/d0/f0.flac", "/music/library/d0/f0.flac", {}, false});
    return list;
}

TEST(CompactInputsTest, GivesBackEveryInputAsAddedInAnyOrder)
{
    const std::vector<BatchInput> list = listLike();
    CompactInputs compact;
    for (const BatchInput& input : list) {
        compact.add(input);
    }
    ASSERT_EQ(compact.size(), list.size());
    for (std::size_t turn = 0; turn < 2; ++turn) {
        for (std::size_t step = 0; step < list.size(); ++step) {
            const std::size_t i = turn == 0 ? step : list.size() - 1 - step;
            const BatchInput got = compact.at(i);
            EXPECT_EQ(got.path.native(), list[i].path.native()) << i;
            EXPECT_EQ(got.shown.native(), list[i].shown.native()) << i;
            EXPECT_EQ(got.error, list[i].error) << i;
            EXPECT_EQ(got.givenDirectly, list[i].givenDirectly) << i;
        }
    }
}

} // namespace
} // namespace orvel
