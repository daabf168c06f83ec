#include "HelpText.h"

#include <sstream>

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kDescriptionColumn = 21;

// The words of a paragraph in lines of at most kWidth columns, each led by
// `indent` spaces but the first, which continues `first` columns in.
std::string wrappedParagraph(const std::string &text, size_t indent, size_t first)
{
    std::istringstream words(text);
    std::string out;
    size_t column = first;
    bool lineEmpty = true;
    for (std::string word; words >> word;) {
        if (!lineEmpty && column + 1 + word.size() > kWidth) {
            out += '\n' + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
    }
    return out + '\n';
}

std::string wrapped(const std::string &text, size_t indent, size_t first)
{
    std::istringstream paragraphs(text);
    std::string out;
    bool firstParagraph = true;
    for (std::string paragraph; std::getline(paragraphs, paragraph);) {
        if (!firstParagraph)
            out += std::string(indent, ' ');
        out += wrappedParagraph(paragraph, indent, firstParagraph ? first : indent);
        firstParagraph = false;
    }
    return out;
}

} // namespace

std::string helpText(const HelpPage &page)
{
    std::string out;
    for (size_t i = 0; i < page.usage.size(); ++i)
        out += (i == 0 ? "Usage: " : "  or:  ") + page.program + ' ' + page.usage[i] + '\n';
    out += wrapped(page.about, 0, 0) + '\n';
    for (const HelpRow &row : page.rows) {
        std::string names = "  " + row.names;
        if (names.size() + 2 > kDescriptionColumn)
            names += '\n' + std::string(kDescriptionColumn, ' ');
        else
            names += std::string(kDescriptionColumn - names.size(), ' ');
        out += names + wrapped(row.description, kDescriptionColumn, kDescriptionColumn);
    }
    out += '\n' + wrapped(page.epilogue, 0, 0);
    out += "\nFull documentation: man " + page.program + '\n';
    return out;
}

std::string tryHelp(const std::string &program)
{
    return "Try '" + program + " --help' for more information.\n";
}
