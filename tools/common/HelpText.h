#pragma once

// The --help text and the usage-error pointer of every command-line program
// here, in the GNU layout. Plain C++: pc1600-sim, which has no Qt, uses it
// too.

#include <string>
#include <vector>

struct HelpRow {
    std::string names; // "--port PATH", "-h, --help", or an argument such as "IN"
    std::string description;
};

struct HelpPage {
    std::string program;
    std::vector<std::string> usage; // what follows the program's name, one line each
    std::string about;
    std::vector<HelpRow> rows;
    std::string epilogue; // what more there is to say, the exit status last
};

// Usage lines, the text about the program, the rows with their
// descriptions wrapped beside them, the epilogue and where the manual page
// is. Texts are wrapped at 79 columns; a line end in them starts a new
// paragraph.
std::string helpText(const HelpPage &page);

// The second line of a usage error: "Try 'PROGRAM --help' for more information."
std::string tryHelp(const std::string &program);
