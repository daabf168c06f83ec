// For any received bytes: the pages hold every character in order (line ends
// aside), no page holds more than 62 lines, only the last page holds fewer.

#include "printjob/Pagination.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {
void check(bool condition)
{
    if (!condition)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray expected;
    for (const char c : text) {
        if (c != '\r' && c != '\n')
            expected += c;
    }

    constexpr int linesPerPage = 62;
    PageCutter cutter(text, linesPerPage);
    QByteArray printed;
    int pages = 0;
    int lines = 0;
    bool sawShortPage = false;
    while (!cutter.atEnd()) {
        const PageLines page = cutter.nextPage();
        check(!page.isEmpty());
        check(page.size() <= linesPerPage);
        check(!sawShortPage);
        sawShortPage = page.size() < linesPerPage;
        for (const QByteArrayView line : page) {
            check(!line.contains('\n') && !line.contains('\r'));
            printed += line;
        }
        ++pages;
        lines += int(page.size());
    }
    check(printed == expected);
    check(pages == countPages(text, linesPerPage));
    check(lines == countLines(text));
    return 0;
}
