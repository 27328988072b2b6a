#pragma once

#include "echowatch/probe/message_box.h"

class QWidget;

namespace platform {

// The toolkit's modal message box. Boxes are centred on and block the owner
// window once one is set; until then they block the whole application.
class QtMessageBox final : public probe::MessageBox
{
public:
    void setOwner(QWidget *owner) noexcept { m_owner = owner; }
    void show(std::string_view text, probe::MessageIcon icon) noexcept override;

private:
    QWidget *m_owner = nullptr;
};

} // namespace platform
