#pragma once

#include <QString>

#include <functional>
#include <ostream>

class QWidget;

namespace history_view {

// Asks the user where to save a CSV file, and writes it there only if one
// was chosen; says so in a message box when it cannot be written.
void saveCsvFile(QWidget *parent, const QString &title, const QString &suggestedName,
                 const std::function<void(std::ostream &)> &write);

} // namespace history_view
