#include "echowatch/records/command_words.h"

namespace records {

namespace {

constexpr std::string_view Blanks = " \t\n";
constexpr std::string_view ExpandedInDoubleQuotes = "$`";
// Outside quotes: expansions, operators, redirections and the globs,
// wherever they stand in a word.
constexpr std::string_view ShellOperators = "$`|&;<>()*?[";
constexpr std::string_view EscapableInDoubleQuotes = "$`\"\\\n";

class Splitter
{
public:
    explicit Splitter(std::string_view line) : m_rest(line) {}

    CommandWords split()
    {
        while (!m_rest.empty() && m_error.empty())
            step();
        if (m_error.empty() && m_inWord)
            m_words.words.push_back(std::move(m_word));
        if (m_error.empty() && m_words.words.empty())
            m_error = "no program to run";
        m_words.error = std::move(m_error);
        if (!m_words.error.empty())
            m_words.words.clear();
        return std::move(m_words);
    }

private:
    char take()
    {
        const char character = m_rest.front();
        m_rest.remove_prefix(1);
        return character;
    }

    void refuse(char character)
    {
        m_error = std::string("'") + character +
                  "' would mean something to a shell, and none runs the command: put it in "
                  "single quotes to pass it as it is";
    }

    void step()
    {
        const char character = take();
        if (Blanks.find(character) != std::string_view::npos) {
            if (m_inWord)
                m_words.words.push_back(std::move(m_word));
            m_word.clear();
            m_inWord = false;
            return;
        }
        // A backslash and a line end join two lines, as in a shell.
        if (character == '\\' && !m_rest.empty() && m_rest.front() == '\n') {
            take();
            return;
        }
        const bool wordStart = !m_inWord;
        m_inWord = true;
        if (character == '\'')
            singleQuoted();
        else if (character == '"')
            doubleQuoted();
        else if (character == '\\')
            escaped();
        else if (actsOn(character, wordStart))
            refuse(character);
        else
            m_word += character;
    }

    // A comment starts only a word; a home directory starts a word or
    // follows = or : (as in --file=~/x); "notes~" and "a#b" are plain words.
    bool actsOn(char character, bool wordStart) const
    {
        if (ShellOperators.find(character) != std::string_view::npos)
            return true;
        if (character == '#')
            return wordStart;
        if (character == '~')
            return wordStart || m_word.ends_with('=') || m_word.ends_with(':');
        return false;
    }

    void singleQuoted()
    {
        const std::size_t end = m_rest.find('\'');
        if (end == std::string_view::npos) {
            m_error = "a single quote is not closed";
            return;
        }
        m_word += m_rest.substr(0, end);
        m_rest.remove_prefix(end + 1);
    }

    void doubleQuoted()
    {
        while (!m_rest.empty()) {
            const char character = take();
            if (character == '"')
                return;
            if (ExpandedInDoubleQuotes.find(character) != std::string_view::npos) {
                refuse(character);
                return;
            }
            if (character == '\\' && !m_rest.empty() &&
                EscapableInDoubleQuotes.find(m_rest.front()) != std::string_view::npos) {
                const char next = take();
                if (next != '\n')
                    m_word += next;
                continue;
            }
            m_word += character;
        }
        m_error = "a double quote is not closed";
    }

    void escaped()
    {
        if (m_rest.empty()) {
            m_error = "the command ends in a backslash";
            return;
        }
        m_word += take();
    }

    std::string_view m_rest;
    CommandWords m_words;
    std::string m_word;
    bool m_inWord = false;
    std::string m_error;
};

} // namespace

CommandWords splitCommandWords(std::string_view line)
{
    return Splitter(line).split();
}

} // namespace records
