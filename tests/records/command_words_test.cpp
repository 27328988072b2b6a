#include "echowatch/records/command_words.h"

#include <gtest/gtest.h>

namespace {

using Words = std::vector<std::string>;

struct Row
{
    const char *line;
    Words words;
    // A part of the error expected; nullptr when the line is good.
    const char *error;
};

const Row Rows[] = {
    {"notify-send down", {"notify-send", "down"}, nullptr},
    {"  a \t b\n c  ", {"a", "b", "c"}, nullptr},
    {"mail -s 'host is down' me@example.org",
     {"mail", "-s", "host is down", "me@example.org"},
     nullptr},
    {"say \"it's down\"", {"say", "it's down"}, nullptr},
    {"a 'b'\"c\"d", {"a", "bcd"}, nullptr},
    {"a '' \"\"", {"a", "", ""}, nullptr},
    {"a\\ b c\\'d", {"a b", "c'd"}, nullptr},
    {"a \"x\\\"y\\\\z\\q\"", {"a", "x\"y\\z\\q"}, nullptr},
    {"a \\\n b", {"a", "b"}, nullptr},
    {"sh -c 'echo $ECHOWATCH_HOST; ls | wc'",
     {"sh", "-c", "echo $ECHOWATCH_HOST; ls | wc"},
     nullptr},
    {"a \"\\$HOME\"", {"a", "$HOME"}, nullptr},
    {"/usr/bin/x '*.log' '~' '#no' \\[a]", {"/usr/bin/x", "*.log", "~", "#no", "[a]"}, nullptr},
    {"cp notes~ a#b x=y~ \"~/*\"", {"cp", "notes~", "a#b", "x=y~", "~/*"}, nullptr},
    {"", {}, "no program"},
    {"   ", {}, "no program"},
    {"a 'b", {}, "single quote is not closed"},
    {"a \"b", {}, "double quote is not closed"},
    {"a \\", {}, "ends in a backslash"},
    {"echo $HOST", {}, "'$'"},
    {"echo \"$HOST\"", {}, "'$'"},
    {"echo `id`", {}, "'`'"},
    {"a; rm -rf /", {}, "';'"},
    {"a && b", {}, "'&'"},
    {"a | b", {}, "'|'"},
    {"a > f", {}, "'>'"},
    {"a < f", {}, "'<'"},
    {"(a)", {}, "'('"},
    {"~/bin/alert", {}, "'~'"},
    {"alert --to=~/x", {}, "'~'"},
    {"alert a:~/x", {}, "'~'"},
    {"notify-send down # comment", {}, "'#'"},
    {"rm *.tmp", {}, "'*'"},
    {"ls file?", {}, "'?'"},
    {"ls [ab]", {}, "'['"},
};

TEST(CommandWords, SplitLikeAShellWithoutOne)
{
    for (const Row &row : Rows) {
        SCOPED_TRACE(row.line);
        const records::CommandWords split = records::splitCommandWords(row.line);
        EXPECT_EQ(split.words, row.words);
        if (row.error)
            EXPECT_NE(split.error.find(row.error), std::string::npos) << split.error;
        else
            EXPECT_EQ(split.error, "");
    }
}

} // namespace
