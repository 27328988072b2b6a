#pragma once

#include <QString>

#include <functional>
#include <ostream>

class QWidget;

namespace history_view {

// Writes a file that replaces any file at path only once the whole of it is
// on disk: write fills a temporary file beside the target, which is renamed
// over it after it is closed, and removed instead if anything failed. False
// when the target was left as it was.
bool replaceFile(const QString &path, const std::function<void(std::ostream &)> &write);

// Asks the user where to save a CSV file, and writes it there only if one
// was chosen; says so in a message box when it cannot be written.
void saveCsvFile(QWidget *parent, const QString &title, const QString &suggestedName,
                 const std::function<void(std::ostream &)> &write);

} // namespace history_view
