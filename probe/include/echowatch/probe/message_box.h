#pragma once

#include <string_view>

namespace probe {

enum class MessageIcon
{
    None,
    Exclamation,
};

// A modal box with one OK button, titled with the application's title.
// Returns once the user has closed it.
class MessageBox
{
public:
    virtual ~MessageBox() = default;
    virtual void show(std::string_view text, MessageIcon icon) noexcept = 0;
};

} // namespace probe
