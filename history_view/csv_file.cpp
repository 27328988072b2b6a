#include "echowatch/history_view/csv_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QSaveFile>

#include <array>
#include <streambuf>

namespace history_view {

namespace {

// The writers speak std::ostream; the file that can be thrown away is a
// QIODevice. A device that refuses a write fails the stream, so the writer
// stops early and the commit is never attempted.
class DeviceBuffer final : public std::streambuf
{
public:
    explicit DeviceBuffer(QIODevice &device) : m_device(device)
    {
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

protected:
    int_type overflow(int_type character) override
    {
        if (!drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(character, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(character);
            pbump(1);
        }
        return traits_type::not_eof(character);
    }

    int sync() override { return drain() ? 0 : -1; }

private:
    bool drain()
    {
        const qint64 pending = pptr() - pbase();
        if (pending > 0 && m_device.write(pbase(), pending) != pending)
            return false;
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        return true;
    }

    QIODevice &m_device;
    std::array<char, 1 << 16> m_buffer{};
};

} // namespace

bool replaceFile(const QString &path, const std::function<void(std::ostream &)> &write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    DeviceBuffer buffer(file);
    std::ostream out(&buffer);
    write(out);
    out.flush();
    // Qt 6.4's commit() misses a write error that only shows when it
    // flushes its own buffer (any file under 16 KiB on a full disk), and
    // renames the stub over the older file: the buffer is flushed and
    // checked here, where a failure still leaves the target alone.
    if (!out || !file.flush() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    // commit() closes and renames, and on any failure removes the
    // temporary file and leaves the target alone.
    return file.commit();
}

void saveCsvFile(QWidget *parent, const QString &title, const QString &suggestedName,
                 const std::function<void(std::ostream &)> &write)
{
    const QString path =
        QFileDialog::getSaveFileName(parent, title, QDir::home().filePath(suggestedName),
                                     QCoreApplication::translate("CsvFile", "CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    if (!replaceFile(path, write)) {
        QMessageBox::warning(parent, title,
                             QCoreApplication::translate("CsvFile", "%1 could not be written.")
                                 .arg(QDir::toNativeSeparators(path)));
    }
}

} // namespace history_view
