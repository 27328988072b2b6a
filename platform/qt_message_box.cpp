#include "echowatch/platform/qt_message_box.h"

#include "echowatch/platform/application_title.h"
#include "echowatch/platform/qt_text.h"

#include <QMessageBox>

namespace platform {
namespace {

QMessageBox::Icon toolkitIcon(probe::MessageIcon icon) noexcept
{
    return icon == probe::MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon;
}

} // namespace

void QtMessageBox::show(std::string_view text, probe::MessageIcon icon) noexcept
{
    QMessageBox box(toolkitIcon(icon), qtText(ApplicationTitle), qtText(text), QMessageBox::Ok,
                    m_owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace platform
