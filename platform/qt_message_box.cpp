#include "qt_message_box.h"

#include "application_title.h"
#include "qt_text.h"

#include <QMessageBox>

namespace platform {
namespace {

QMessageBox::Icon toolkitIcon(MessageIcon icon) noexcept
{
    return icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
}

} // namespace

void QtMessageBox::show(std::string_view text, MessageIcon icon) noexcept
{
    QMessageBox box(toolkitIcon(icon), qtText(ApplicationTitle), qtText(text), QMessageBox::Ok,
                    m_owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace platform
