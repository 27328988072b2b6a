// Replacing a file: the target changes only once the new one is complete.
// Given a directory on a small file system (full_disk.sh mounts one), it
// also fills that file system; without one, it runs in a temporary folder.
#include "echowatch/history_view/csv_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

QString fullDiskFolder;
// A read-only file system holding an older history.csv.
QString readOnlyFolder;

// One byte pattern per size, so that a file cut short or mixed is seen.
std::string content(char letter, std::size_t size)
{
    std::string text(size, letter);
    for (std::size_t index = 0; index < size; index += 100)
        text[index] = '\n';
    return text;
}

std::optional<std::string> fileText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll().toStdString();
}

enum class Disk
{
    Roomy,
    Small,
    // Small, and filled up once the older file is on it.
    Full,
};

struct Case
{
    const char *name;
    Disk disk;
    std::optional<std::string> older;
    std::string newer;
    bool written;
};

// Takes what room is left on the file system of folder.
void fillUp(const QString &folder)
{
    QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const std::string page(4096, 'z');
    while (filler.write(page.data(), static_cast<qint64>(page.size())) > 0) {
    }
}

void checkCase(const Case &row, const QString &folder)
{
    SCOPED_TRACE(row.name);
    const QString target = QDir(folder).filePath(QStringLiteral("history.csv"));
    QFile::remove(target);
    QFile::remove(QDir(folder).filePath(QStringLiteral("filler")));
    if (row.older) {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(row.older->data(), static_cast<qint64>(row.older->size())),
                  static_cast<qint64>(row.older->size()));
    }
    if (row.disk == Disk::Full)
        fillUp(folder);
    const bool written =
        history_view::replaceFile(target, [&row](std::ostream &out) { out << row.newer; });
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(fileText(target), row.written ? std::optional(row.newer) : row.older);
    // No temporary file left beside it, and no stub of the new one.
    QFile::remove(QDir(folder).filePath(QStringLiteral("filler")));
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, row.written || row.older ? QStringList{QStringLiteral("history.csv")}
                                             : QStringList{});
}

const Case Cases[] = {
    {"new file", Disk::Roomy, std::nullopt, content('a', 3000), true},
    {"replaces an older one", Disk::Roomy, content('b', 200000), content('c', 5000), true},
    {"empty export", Disk::Roomy, content('d', 10), std::string(), true},
    // The file system holds 64 KiB: room for the older file, not for both.
    {"full disk keeps the older file", Disk::Small, content('e', 24576), content('f', 200000),
     false},
    {"full disk leaves no stub", Disk::Small, std::nullopt, content('g', 200000), false},
    {"fits beside the older file", Disk::Small, content('h', 16384), content('i', 8192), true},
    // Smaller than the file's own 16 KiB buffer, so the error shows only
    // when that is flushed.
    {"small export on a full disk", Disk::Full, content('j', 19000), content('k', 10000), false},
    {"large export on a full disk", Disk::Full, content('l', 19000), content('m', 40000), false},
};

TEST(ReplaceFile, CompleteOrNotAtAll)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    bool fullDiskRun = false;
    for (const Case &row : Cases) {
        const bool small = row.disk != Disk::Roomy;
        if (small && fullDiskFolder.isEmpty())
            continue;
        fullDiskRun = fullDiskRun || small;
        checkCase(row, small ? fullDiskFolder : scratch.path());
    }
    if (!fullDiskRun)
        GTEST_SKIP() << "no small file system given: full_disk.sh mounts one as root";
}

TEST(ReplaceFile, ReadOnlyFileSystemKeepsTheOlderFile)
{
    if (readOnlyFolder.isEmpty())
        GTEST_SKIP() << "no read-only file system given: full_disk.sh mounts one as root";
    const QString target = QDir(readOnlyFolder).filePath(QStringLiteral("history.csv"));
    const auto older = fileText(target);
    ASSERT_TRUE(older.has_value());
    for (const std::size_t size : {std::size_t{10}, std::size_t{40000}}) {
        EXPECT_FALSE(history_view::replaceFile(
            target, [size](std::ostream &out) { out << content('n', size); }));
        EXPECT_EQ(fileText(target), older);
    }
}

TEST(ReplaceFile, UnwritableFolderLeavesNothing)
{
    EXPECT_FALSE(history_view::replaceFile(QStringLiteral("/proc/echowatch-no-such/history.csv"),
                                           [](std::ostream &out) { out << "x"; }));
}

} // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        fullDiskFolder = QString::fromLocal8Bit(argv[1]);
    if (argc > 2)
        readOnlyFolder = QString::fromLocal8Bit(argv[2]);
    return RUN_ALL_TESTS();
}
