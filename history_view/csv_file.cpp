#include "echowatch/history_view/csv_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include <fstream>

namespace history_view {

void saveCsvFile(QWidget *parent, const QString &title, const QString &suggestedName,
                 const std::function<void(std::ostream &)> &write)
{
    const QString path =
        QFileDialog::getSaveFileName(parent, title, QDir::home().filePath(suggestedName),
                                     QCoreApplication::translate("CsvFile", "CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    std::ofstream out(QFile::encodeName(path).toStdString(), std::ios::binary | std::ios::trunc);
    if (out)
        write(out);
    out.close();
    if (!out) {
        QMessageBox::warning(parent, title,
                             QCoreApplication::translate("CsvFile", "%1 could not be written.")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

} // namespace history_view
