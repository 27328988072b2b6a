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

struct Case
{
    const char *name;
    bool onSmallDisk;
    std::optional<std::string> older;
    std::string newer;
    bool written;
};

void checkCase(const Case &row, const QString &folder)
{
    SCOPED_TRACE(row.name);
    const QString target = QDir(folder).filePath(QStringLiteral("history.csv"));
    QFile::remove(target);
    if (row.older) {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(row.older->data(), static_cast<qint64>(row.older->size())),
                  static_cast<qint64>(row.older->size()));
    }
    const bool written =
        history_view::replaceFile(target, [&row](std::ostream &out) { out << row.newer; });
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(fileText(target), row.written ? std::optional(row.newer) : row.older);
    // No temporary file left beside it, and no stub of the new one.
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(left, row.written || row.older ? QStringList{QStringLiteral("history.csv")}
                                             : QStringList{});
}

const Case Cases[] = {
    {"new file", false, std::nullopt, content('a', 3000), true},
    {"replaces an older one", false, content('b', 200000), content('c', 5000), true},
    {"empty export", false, content('d', 10), std::string(), true},
    // The file system holds 64 KiB: room for the older file, not for both.
    {"full disk keeps the older file", true, content('e', 24576), content('f', 200000), false},
    {"full disk leaves no stub", true, std::nullopt, content('g', 200000), false},
    {"fits beside the older file", true, content('h', 16384), content('i', 8192), true},
};

TEST(ReplaceFile, CompleteOrNotAtAll)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    bool fullDiskRun = false;
    for (const Case &row : Cases) {
        if (row.onSmallDisk && fullDiskFolder.isEmpty())
            continue;
        fullDiskRun = fullDiskRun || row.onSmallDisk;
        checkCase(row, row.onSmallDisk ? fullDiskFolder : scratch.path());
    }
    if (!fullDiskRun)
        GTEST_SKIP() << "no small file system given: full_disk.sh mounts one as root";
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
    return RUN_ALL_TESTS();
}
