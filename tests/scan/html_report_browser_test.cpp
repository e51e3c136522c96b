// SPDX-License-Identifier: MIT
// The HTML report as a reader sees it: Debian's chromium, headless, opens the
// page kestrone-scan wrote, and tools/html-report-browser.py clicks through it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace orvel::testing;

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) {
        ++n;
    }
    return n;
}

// A copy of the mixed folder plus a file whose name tries to be markup.
fs::path hostileLibrary(const ScratchFolder& scratch)
{
    const fs::path library = scratch / "library";
    fs::copy(testAudio("scan") / "mixed", library, fs::copy_options::recursive | fs::copy_options::skip_symlinks);
    fs::copy_file(testAudio("scan") / "mixed/a-pink-2ch-44100Hz-16bit.flac",
                  library / "<img src=x onerror=alert(1)> & \"q\".flac");
    return library;
}

std::vector<std::string> chromium(const ScratchFolder& scratch)
{
    return {"/usr/bin/env", "chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--user-data-dir=" + (scratch / "profile").string()};
}

TEST(HtmlReportBrowserTest, ChromiumShowsOneRowPerFileWithTheNamesAsText)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG(); // the library holds a file only FFmpeg reads
    const ScratchFolder scratch;
    const fs::path library = hostileLibrary(scratch);
    const fs::path page = scratch / "report.html";
    const ProcessResult run = runProcess({scanProgram(), "--html", page.string(), "--html-pictures", library.string()});
    ASSERT_EQ(run.exitCode, 1) << "a truncated file fails: " << run.err;

    std::vector<std::string> dump = chromium(scratch);
    dump.insert(dump.end(), {"--dump-dom", "file://" + page.string()});
    const ProcessResult dom = runProcess(dump);
    ASSERT_EQ(dom.exitCode, 0) << dom.err;
    EXPECT_EQ(count(dom.out, "<tr role=\"row\" "), 8u) << "one row per file";
    EXPECT_EQ(count(dom.out, "<tr role=\"row\" class=\"x\""), 2u) << "the truncated and the text file failed";
    EXPECT_EQ(count(dom.out, "&lt;img src=x onerror=alert(1)&gt; &amp; \"q\".flac</summary>"), 1u);
    EXPECT_EQ(count(dom.out, "<img src=\"x\""), 0u);
    EXPECT_EQ(count(dom.out, "<img alt=\"Spectrogram\" src=\"data:image/png;base64,iVBORw0KGgo"), 6u);
    EXPECT_NE(dom.out.find("<div id=\"controls\">"), std::string::npos) << "the script ran and showed the filters";
}

TEST(HtmlReportBrowserTest, AClickOnAHeaderSortsAndTheMenuAndTextFilterTheRows)
{
    KESTRONE_SKIP_WITHOUT_FFMPEG(); // the library holds a file only FFmpeg reads
    const ScratchFolder scratch;
    const fs::path library = hostileLibrary(scratch);
    const fs::path page = scratch / "report.html";
    ASSERT_EQ(runProcess({scanProgram(), "--html", page.string(), library.string()}).exitCode, 1);

    // The rows' numbers in the order they are shown, top to bottom.
    const std::string shownOrder =
        "Array.from(document.querySelectorAll('#files tbody tr')).filter(r => !r.hidden)"
        ".sort((a, b) => a.getBoundingClientRect().top - b.getBoundingClientRect().top)"
        ".map(r => r.cells[0].textContent).join(' ')";
    const ProcessResult browser = runProcess(
        {"/usr/bin/env", "python3", std::string(KESTRONE_SOURCE_DIR) + "/tools/html-report-browser.py", page.string(), "--eval",
         shownOrder, "--click", "#files thead th:nth-child(2)", "--eval", shownOrder, "--click",
         "#files thead th:nth-child(2)", "--eval", shownOrder, "--eval",
         "document.querySelector('#files thead th:nth-child(2)').getAttribute('aria-sort')", "--eval",
         "(() => { const m = document.getElementById('verdict-filter'); m.value = 'x';"
         " m.dispatchEvent(new Event('change')); return document.getElementById('shown').textContent; })()",
         "--eval", shownOrder, "--type", "#text-filter=truncated", "--eval", shownOrder, "--eval",
         "(() => { document.getElementById('verdict-filter').value = ''; document.getElementById('text-filter').value = '';"
         " const m = document.getElementById('conclusion-filter'); m.value = '3';"
         " m.dispatchEvent(new Event('change')); return document.getElementById('shown').textContent; })()",
         "--eval", shownOrder});
    ASSERT_EQ(browser.exitCode, 0) << browser.err;
    const JsonValue results = parseJson(browser.out)["results"];
    ASSERT_EQ(results.items.size(), 9u) << browser.out;
    EXPECT_EQ(results.items[0].text, "1 2 3 4 5 6 7 8") << "input order: the walk's";
    EXPECT_EQ(results.items[1].text, "1 5 3 4 2 6 7 8") << "by path, as people sort names";
    EXPECT_EQ(results.items[2].text, "8 7 6 2 4 3 5 1") << "a second click: the other way";
    EXPECT_EQ(results.items[3].text, "descending");
    EXPECT_EQ(results.items[4].text, "2 of 8 files shown");
    EXPECT_EQ(results.items[5].text, "8 7") << "the filter keeps the order";
    EXPECT_EQ(results.items[6].text, "7");
    EXPECT_EQ(results.items[7].text, "3 of 8 files shown");
    EXPECT_EQ(results.items[8].text, "4 5 1") << "only \"Too little content to judge\", still in path order";
}

} // namespace
