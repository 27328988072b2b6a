// The outage table given the outages of a span again and again: rows the
// span left go from the bottom and new ones come in on top without a reset,
// so a row the reader selected stays on its outage; anything else resets.
#include "echowatch/history_view/outage_table_model.h"

#include <QPersistentModelIndex>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

using history::Milliseconds;
using history_view::OutageTableModel;

constexpr Milliseconds Start = 1'800'000'000'000;

// Outage n starts n minutes after Start, lost n probes (its identity in
// the table) and, unless ongoing, ended 10 s after it started.
history::Outage outage(int number, bool ongoing = false)
{
    const Milliseconds start = Start + number * Milliseconds{60'000};
    return history::Outage::restored(start, start + 9'000,
                                     ongoing ? std::nullopt : std::optional(start + 10'000),
                                     static_cast<std::uint64_t>(number), 11010, false, false);
}

std::vector<history::Outage> outages(std::initializer_list<int> numbers)
{
    std::vector<history::Outage> list;
    for (const int number : numbers)
        list.push_back(outage(number));
    return list;
}

// The numbers the rows show, top to bottom.
std::vector<int> shownNumbers(const OutageTableModel &model)
{
    std::vector<int> numbers;
    for (int row = 0; row < model.rowCount(); ++row)
        numbers.push_back(model.index(row, OutageTableModel::LostColumn).data().toInt());
    return numbers;
}

struct Changes
{
    int resets = 0;
    int inserted = 0;
    int removed = 0;
};

struct Row
{
    const char *name;
    std::vector<history::Outage> before;
    std::vector<history::Outage> after;
    std::vector<int> shown;
    bool reset;
    int inserted;
    int removed;
    // The outage a reader selected before, and whether its row survives.
    int selected;
    bool selectionKept;
};

TEST(OutageTableModel, FollowsASpanWithoutLosingTheSelectedRow)
{
    const Row rows[] = {
        {"newer outages come in on top", outages({1, 2}), outages({1, 2, 3, 4}), {4, 3, 2, 1},
         false, 2, 0, 2, true},
        {"the span's oldest left at the bottom", outages({1, 2, 3}), outages({2, 3, 4}),
         {4, 3, 2}, false, 1, 1, 3, true},
        {"the selected one left with the span", outages({1, 2, 3}), outages({3}), {3}, false, 0,
         2, 1, false},
        {"none left in common", outages({1, 2}), outages({5, 6}), {6, 5}, false, 2, 2, 2, false},
        {"an older one came in below: a longer span", outages({2, 3}), outages({1, 2, 3}),
         {3, 2, 1}, true, 0, 0, 2, false},
        {"another host's outages", outages({1, 3}), outages({2, 3}), {3, 2}, true, 0, 0, 3,
         false},
        {"the span emptied", outages({1, 2}), {}, {}, true, 0, 0, 1, false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        OutageTableModel model;
        model.setOutages(row.before, {});
        const auto selectedRow = static_cast<int>(
            row.before.end() - std::find_if(row.before.begin(), row.before.end(),
                                            [&](const history::Outage &o) {
                                                return o.probesLost ==
                                                       static_cast<std::uint64_t>(row.selected);
                                            }) -
            1);
        const QPersistentModelIndex selected = model.index(selectedRow, 0);
        ASSERT_EQ(model.index(selectedRow, OutageTableModel::LostColumn).data().toInt(),
                  row.selected);
        Changes changes;
        QObject::connect(&model, &QAbstractItemModel::modelReset, [&] { ++changes.resets; });
        QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                         [&](const QModelIndex &, int first, int last) {
                             changes.inserted += last - first + 1;
                         });
        QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                         [&](const QModelIndex &, int first, int last) {
                             changes.removed += last - first + 1;
                         });
        model.setOutages(row.after, {});
        EXPECT_EQ(shownNumbers(model), row.shown);
        EXPECT_EQ(changes.resets, row.reset ? 1 : 0);
        EXPECT_EQ(changes.inserted, row.inserted);
        EXPECT_EQ(changes.removed, row.removed);
        EXPECT_EQ(selected.isValid(), row.selectionKept);
        if (row.selectionKept) {
            EXPECT_EQ(selected.sibling(selected.row(), OutageTableModel::LostColumn).data().toInt(),
                      row.selected);
        }
    }
}

// The newest may have ended since it was shown, and a trace may have found
// where its path broke: both show without a new row.
TEST(OutageTableModel, UpdatesTheRowsItKeeps)
{
    OutageTableModel model;
    model.setOutages({outage(1), outage(2, true)}, {});
    EXPECT_EQ(model.index(0, OutageTableModel::EndColumn).data().toString(),
              QStringLiteral("ongoing"));
    EXPECT_FALSE(model.tracedOutageStart(0));
    int changed = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changed; });
    model.setOutages({outage(1), outage(2)}, {{outage(2).start, "hop 3"}});
    EXPECT_GT(changed, 0);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_NE(model.index(0, OutageTableModel::EndColumn).data().toString(),
              QStringLiteral("ongoing"));
    EXPECT_EQ(model.index(0, OutageTableModel::WhereColumn).data().toString(),
              QStringLiteral("hop 3"));
    EXPECT_EQ(model.tracedOutageStart(0), outage(2).start);
    EXPECT_FALSE(model.tracedOutageStart(1));
}

} // namespace
