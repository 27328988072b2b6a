#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace records {

// A command line cut into a program and its arguments as a POSIX shell
// quotes words (blanks apart, '…' literal, "…" with \" \\ \$ \` escapes,
// \ outside quotes), with no shell ever run. What a shell would expand or
// act on, unquoted ($, `, |, &, ;, <, >, parentheses, the globs *, ? and
// [, # starting a comment, ~ starting a home directory) or in double quotes
// ($, `), is refused
// rather than passed on with a meaning it would not have: the command reads
// its facts from its environment.
struct CommandWords
{
    std::vector<std::string> words;
    // Empty when the words are good.
    std::string error;
};

CommandWords splitCommandWords(std::string_view line);

} // namespace records
